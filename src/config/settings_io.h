// Loading and storing one machine's settings: the keys of its DNC.ini
// section, their defaults, the adjustments made when they are read and the
// rules applied when they are written.
//
// Work that belongs to other layers is not done here:
//   - the control-string translation of StripChars and the loading of the
//     character translation file are tape-code functions (comm layer); the
//     caller hands them in through SettingsHooks;
//   - after loading, the front-end sets its file-list filter to "*" followed
//     by DefaultExtension when FilterFiles is on;
//   - after storing, the caller re-opens the port, re-applies the file-list
//     filter, shows the script markers on the Send and Receive buttons, and
//     starts a receive when auto-serve was switched on (or enables the
//     buttons when it was switched off).
#pragma once

#include "config/ini_file.h"
#include "config/machine_settings_record.h"

#include <QString>
#include <functional>

namespace dnc
{

struct SettingsHooks {
    // StripChars translated by the control-string rules with the tape-code
    // conversion skipped. Without it nothing is stripped
    // (`translated_strip_chars_string` stays empty).
    std::function<QString(const QString &strip_chars)> translate_strip_chars;
    // Fills trans_chars_out and trans_chars_in from the record's
    // CharTransFile; called when the tape code is "Other" (PunchOther).
    std::function<void(MachineSettingsRecord &record)> load_translation_file;
};

// The section that holds a machine's settings: its name, or "Default" when
// the name is empty.
QString machine_section_name(const QString &machine_name);

// Reads the machine's section of `ini` into the configuration fields of
// `record` with every read default and adjustment, then: "MarlixPath" of the
// global section into marlix_folder(), StripChars through the hook,
// send-by-character and re-open-before-every-transfer forced on, and the
// translation file loaded through the hook when the tape code is "Other".
// A script name without a folder ("SendEvent", "ReceiveEvent") is taken from
// `user_data_folder`.
void load_machine_settings(const IniFile &ini, const QString &machine_name,
                           const QString &user_data_folder, MachineSettingsRecord &record,
                           const SettingsHooks &hooks = {});

// Applies the writer's rules to the configuration fields of `record` (the
// settings dialog shows the corrected values) and writes every stored key
// into the machine's section of `ini`, plus the program's version as
// "Version" in the global section. "CharTransFile" is written only when the
// tape code is "Other" and `translation_file_changed` is set.
void write_machine_settings(IniFile &ini, const QString &machine_name,
                            MachineSettingsRecord &record, bool translation_file_changed);

// write_machine_settings() into the DNC.ini at `ini_path`, written at once
// as a whole: on failure nothing is stored and *error holds the system's
// reason. On success StripChars is translated again and, when
// "CharTransFile" was written, the translation file is loaded again, so the
// stored settings are the ones in use.
bool save_machine_settings(const QString &ini_path, const QString &machine_name,
                           MachineSettingsRecord &record, bool translation_file_changed,
                           const SettingsHooks &hooks, QString *error);

// The "Select Start" menu toggle: stores "SelectStart" in the machine's
// section.
bool save_select_start(const QString &ini_path, const QString &machine_name, bool select_start,
                       QString *error);

// The baud rate typed or chosen in the settings dialog: the text as a
// number, 4800 when it is not one.
int baud_rate_from_text(const QString &text);

// Folder of the setup-sheet program ("MarlixPath" of the global section,
// folder rule applied), refreshed each time a machine's settings load.
// Safe to call from any thread.
QString marlix_folder();
void set_marlix_folder(const QString &folder);

} // namespace dnc
