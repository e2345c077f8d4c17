// The web remote's host over the transfer engine: the machine records, the
// frame actions, the file loading and the notes come from the engine. What
// only the front-end holds (the machine list and drop-down, the status
// lines, the file list's folder, the machine change, binary transfers) a
// front-end supplies by deriving from this class.
//
// Threads: UI thread, like every RemoteHost member.
#pragma once

#include "remote/remote_host.h"

namespace dnc
{

class Engine;
class Machine;

class EngineRemoteHost : public RemoteHost
{
public:
    explicit EngineRemoteHost(Engine &engine);

    RemoteSnapshot remote_snapshot() override;
    std::atomic<bool> &remote_command_active() override;
    bool is_sending(int record) override;
    void set_global_filename(int record, const QString &path) override;
    // The frame's Clear button: ends the transfer and empties the editor.
    void clear(int record) override;
    void receive(int record) override;
    void send(int record) override;
    bool load_editor_file(int record, const QString &path) override;
    void set_and_display_filename(int record, const QString &path) override;
    void note(int record, const QString &text) override;
    void show_ready_note(int record) override;
    int show_message(const QString &title, const QString &body, int kind) override;

protected:
    // The machine list in list order, and the drop-down's index in it.
    virtual QStringList machine_names() = 0;
    virtual int selected_machine() = 0;
    // The text of a machine frame's status line.
    virtual QString status_text(int record) = 0;
    // The folder the main window's file list shows.
    virtual QString file_list_folder() = 0;

    Engine &engine() { return engine_; }

private:
    // Null when the machine list no longer has that record.
    Machine *machine(int record);

    Engine &engine_;
};

} // namespace dnc
