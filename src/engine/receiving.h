// Receiving and auto-serve for every machine of an Engine: the frame's
// Receive action, the finish of a receive on the UI thread, automatic
// saving with numbered backups and the saved-files log, the requests a
// machine sends with auto-serve on, and saving the editor under a chosen
// name.
//
// install_receiving() fills the engine's hooks (received, receive_action,
// apply_request_state, finish_timer, idle_timer); from then on every
// machine receives. The front-end keeps the returned object for the
// operations it starts itself (Save, loading a file while auto-serve is on,
// a direct receive).
//
// The auto-serve cycle of one machine:
//   waiting ("Waiting for Server Command", receiving)
//     -> a program arrives and ends -> the request check of its first lines:
//   get "(G*NAME)" / log "(L*)"  the file (or the not-found reply) is loaded
//                                and sent at the machine's DC1 (CTS), then
//                                back to waiting;
//   save "(S*NAME)"              the next program is saved as NAME, logged,
//                                back to waiting;
//   auto-save marker             the program itself is saved under the name
//                                it carries, logged, back to waiting;
//   reset "(X*)"                 back to waiting (also in the middle of any
//                                program, as soon as its line arrives);
//   nothing                      back to waiting.
//
// Threads: UI thread, except received() (the line's event thread).
#pragma once

#include "engine/receive_engine.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace dnc
{

class Engine;
class Machine;

class Receiving : public std::enable_shared_from_this<Receiving>
{
public:
    Receiving(Engine &engine, ReceivingOptions options);
    Receiving(const Receiving &) = delete;
    Receiving &operator=(const Receiving &) = delete;

    const QString &user_data_folder() const { return options_.user_data_folder; }
    // The front-end's file-list folder, else the user-data folder.
    QString file_list_folder() const;
    // "log.nc" in the user-data folder.
    QString saved_files_log_path() const;

    // The machine's receive side (any thread).
    ReceiveEngine &receiver(Machine &machine);

    // ---- the engine's hooks ----
    // Line's event thread: a chunk of bytes from the machine.
    void received(Machine &machine, const QByteArray &bytes);
    // The frame's Receive: clears the editor (after offering unsaved text
    // for saving), opens the port when it is closed, and receives; with
    // auto-serve the note is "Waiting for Server Command" (or "Waiting to
    // Receive File NAME" while a save request is pending).
    void receive_start(Machine &machine);
    // The 1 ms finish timer (an end rule fired) and the idle timer.
    void finish_timer_fired(Machine &machine);
    void idle_timer_fired(Machine &machine);
    // Auto-serve acts on record.receive_or_send: 0 waiting, 101 send
    // global_filename at the machine's start signal, 102 receive the file
    // named by a save request, 103 stop and wait. Nothing without
    // auto-serve.
    void apply_request_state(Machine &machine);

    // ---- operations ----
    // The end of a received program: reports it, saves it where asked, and
    // with auto-serve acts on the request it carries.
    void finished_receiving_action(Machine &machine);
    // The request in the first lines of the editor (auto-serve; 104 when a
    // script asked for an auto-save). Sets global_filename for 101 and 102.
    int request_check(Machine &machine);
    // Loads the requested file into the editor, or the not-found reply
    // (also written to "notfound.nc"); false for the reply.
    bool serve_file(Machine &machine, const QString &path);
    // Saves the editor's program under `name` (a name without folder goes
    // to DefaultSaveDirectory, else the user-data folder) with a numbered
    // copy in the backup folder. Notes "File Saved"; a save that fails
    // notes why (the missing folder, the system's reason), and a copy that
    // fails is reported without undoing the save. *saved_path (when given)
    // receives the full path.
    bool auto_save_file(Machine &machine, const QString &name, QString *saved_path = nullptr);
    // Adds the saved file at `path` to "log.nc".
    void add_to_saved_files_log(Machine &machine, const QString &path);

    // The frame's Save with the name the operator chose in the save dialog
    // (empty: the dialog was cancelled). An empty editor is not saved. A
    // name without extension gets DefaultExtension (unless that is ".*").
    // True when the file was saved.
    bool save_editor_as(Machine &machine, const QString &chosen_name);
    // Where the save dialog starts: the folder of the file in the editor,
    // else DefaultSaveDirectory, else the file list's folder.
    QString save_dialog_folder(Machine &machine) const;

    // A file picked in the file list (or dropped) while auto-serve is on:
    // Clear, load it, and send it at the machine's start signal.
    bool load_file_for_auto_serve(Machine &machine, const QString &path);

    // "Receive Text": received lines go straight into the file at `path`
    // instead of the editor; the finish closes it. False (with a message)
    // when the file cannot be created.
    bool start_direct_receive(Machine &machine, const QString &path);

private:
    void finished_receiving(Machine &machine);
    // Auto-serve, after a program was saved under global_filename (0, 104):
    // logs it; a program that could not be saved stays in the editor.
    bool save_requested_program(Machine &machine);

    Engine &engine_;
    const ReceivingOptions options_;
    std::mutex receivers_mutex_;
    std::unordered_map<const Machine *, std::shared_ptr<ReceiveEngine>> receivers_;
};

// Fills the engine's receive hooks with a Receiving of `options` and
// returns it. The hooks keep it alive.
std::shared_ptr<Receiving> install_receiving(Engine &engine, ReceivingOptions options);

} // namespace dnc
