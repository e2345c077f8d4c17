// The global section "DUREravur" of DNC.ini: options of the whole server
// read at start, the state remembered at close, and the port map.
//
// The port map names the device behind each port number the operator sees
// ("CommPort=3", "COM3" in notes): keys "Com<N>" of the global section, for
// example "Com3=/dev/serial/by-id/usb-FTDI_..." or
// "Com9=socket://10.1.2.3:4001". A port without a key is /dev/ttyS<N-1>
// (see device_for_port() in comm/port_session.h).
#pragma once

#include "config/ini_file.h"

#include <QMap>
#include <QString>

namespace dnc
{

// Options read when the main window is created (and "MultiInstance" at
// process start). Every key is optional; a missing key or a number key
// that is not a number gives the default shown.
struct GlobalSettings {
    bool multi_server = false;     // "MultiServer": mode of this run, fixed until the next start
    bool multi_instance = false;   // "MultiInstance": several servers may run
    QString last_machine;          // "LastMachine": machine current at the last close; empty = none
    bool save_last_machine = true; // "SaveLastMachine": write the close-time keys
    int machine_file_tab = 1;      // "MachineFileTab": 0 "Machines", 1 "Files"
    bool multi_select_files = false; // "MultiSelectFiles"
    bool editor_read_only = false;   // "EditorReadOnly"
    bool window_color = false;       // "WindowColor": system window colours
    int print_margin = 0;            // "PrintMargin"
    QMap<int, QString> ports;        // "Com<N>" keys: port number -> device
};

GlobalSettings load_global_settings(const IniFile &ini);

// The "Com<N>" keys of the global section (N a positive decimal number,
// any letter case); keys with an empty value are left out.
QMap<int, QString> port_map(const IniFile &ini);

// What the main window remembers at close when "SaveLastMachine" is on.
struct CloseState {
    QString last_machine;                // current machine's name
    int print_columns = 1;               // column-printing setting
    bool save_splitter_position = false; // "SplitterPercent" is written only when on
    int splitter_percent = 60;
    int machine_file_tab = 1; // page index; anything but 0 or 1 is stored as 1
};

// Writes "LastMachine", "PrintColumns", "SplitterPercent" (with the
// splitter option) and "MachineFileTab". The caller checks
// GlobalSettings::save_last_machine first.
bool save_close_state(const QString &ini_path, const CloseState &state, QString *error);

} // namespace dnc
