// What the web remote needs from the program that hosts it: a view of the
// machines to report, and the frame actions it hands over.
//
// Threads: every member is called on the UI thread only. The HTTP connection
// threads never call the host; they ask the web remote's UI-thread object for
// a snapshot and queue actions to it (see remote_server.h).
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <vector>

namespace dnc
{

// What the remote reports about one machine record.
struct RemoteMachineView {
    QString status_text; // the frame's status line, with its "Binary-"/"Mazatrol-" prefix
    QString default_extension;
    QString default_read_directory;
    QString default_save_directory;
    bool filter_files = false;
    bool auto_serve = false; // auto_dnc_flag
    int file_type = 0;       // FileType
    bool sending = false;    // punching
    QString nc_filename;     // the file in the machine's editor
};

// A consistent view of the state the remote reports, taken at one moment on
// the UI thread.
struct RemoteSnapshot {
    QStringList machine_names; // the machine list, in list order
    int selected_machine = 0;  // the machine drop-down's index
    bool multi_machine = false;
    // The machine records: one per machine in multi-machine mode; in
    // single-machine mode one record (index 0) that serves the selected
    // machine.
    std::vector<RemoteMachineView> records;
    QString file_list_folder; // the folder the main window's file list shows
};

class RemoteHost
{
public:
    virtual ~RemoteHost() = default;

    virtual RemoteSnapshot remote_snapshot() = 0;

    // The process-wide flag `remote_command_active`: a transfer started from
    // the web remote is being carried out, so receiving saves under the
    // machine's global_filename, and binary and Mazatrol transfers take
    // their file name from it, instead of asking the operator. The remote's
    // command timer sets it; each transfer clears it where it ends.
    virtual std::atomic<bool> &remote_command_active() = 0;

    // Selects machine `index` in the machine drop-down without running the
    // machine change (the remote's machine-change timer runs it).
    virtual void select_machine(int index) = 0;
    // The machine-change action for the drop-down's selection.
    virtual void change_machine() = 0;

    // `record` is a machine record index as in RemoteSnapshot::records.
    virtual bool is_sending(int record) = 0;
    virtual void set_global_filename(int record, const QString &path) = 0;
    // The frame actions.
    virtual void clear(int record) = 0;
    virtual void receive(int record) = 0;
    virtual void send(int record) = 0;
    // Binary send of the record's global_filename.
    virtual void binary_send(int record) = 0;
    // Loads a file into the record's editor; false (with a note) when it
    // cannot. For a Mazatrol machine nothing is loaded and the result is
    // true while a remote command is active.
    virtual bool load_editor_file(int record, const QString &path) = 0;
    virtual void set_and_display_filename(int record, const QString &path) = 0;

    virtual void note(int record, const QString &text) = 0;
    // The note a machine shows after its port start ("COM3 Ready",
    // "Waiting for Server Command", ...).
    virtual void show_ready_note(int record) = 0;
    virtual int show_message(const QString &title, const QString &body, int kind) = 0;
};

} // namespace dnc
