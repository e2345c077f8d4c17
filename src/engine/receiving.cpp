#include "engine/receiving.h"

#include "engine/auto_save.h"
#include "engine/engine.h"
#include "engine/frame_actions.h"
#include "engine/machine.h"
#include "engine/program_file.h"
#include "engine/requests.h"
#include "engine/saved_files_log.h"
#include "engine/send_engine.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace dnc
{

namespace
{

const QString kWaitingForCommand = QStringLiteral("Waiting for Server Command");

QString file_name_part(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

Receiving::Receiving(Engine &engine, ReceivingOptions options)
    : engine_(engine), options_(std::move(options))
{
}

QString Receiving::file_list_folder() const
{
    const QString folder = options_.file_list_folder ? options_.file_list_folder() : QString();
    return folder.isEmpty() ? options_.user_data_folder : folder;
}

QString Receiving::saved_files_log_path() const
{
    return join_folder(options_.user_data_folder, QString::fromLatin1(kSavedFilesLogName));
}

ReceiveEngine &Receiving::receiver(Machine &machine)
{
    std::lock_guard lock(receivers_mutex_);
    std::shared_ptr<ReceiveEngine> &slot = receivers_[&machine];
    if (!slot) {
        slot = std::make_shared<ReceiveEngine>(machine, options_);
        // A machine that goes away takes its receive side with it (its
        // line's event thread has ended by then).
        QObject::connect(&machine, &QObject::destroyed, [self = weak_from_this(), key = &machine] {
            if (const auto receiving = self.lock()) {
                std::lock_guard guard(receiving->receivers_mutex_);
                receiving->receivers_.erase(key);
            }
        });
    }
    return *slot;
}

// ---------------------------------------------------------------- hooks

void Receiving::received(Machine &machine, const QByteArray &bytes)
{
    receiver(machine).received(bytes);
}

void Receiving::receive_start(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    Workspace &ws = machine.workspace();
    const int index = machine.index();
    ReceiveEngine &rx = receiver(machine);
    PortSession &port = machine.port();

    machine.sender().stop_worker();
    r.RepeatSend = false;
    r.ok_to_save_settings_flag = false;
    display_filename(machine, QString());

    if (r.file_type == FileMazatrol || r.file_type == FileMazatrolT1) {
        r.waiting_for_xon_to_punch = false;
        r.mazak_pA_count = 0;
        r.mazak_receive_block_count = 0;
        r.receive_or_send = RequestGet;
    }

    r.end_on_char_flag = false;
    r.trigger_autosave_flag = false;
    ws.set_editor_editable(index, false);
    r.is_doing_binary = false;
    r.skip_finish_recieving_flag = false;
    r.is_first_line = true;
    r.is_last_line = false;
    r.send_xon_flag = false;
    engine_.dnc_from_veltrik = false;
    r.global_input_line_number = 1;
    r.looking_for_second_percent_sign = false;
    r.end_program_flag = false;
    r.first_time_flag = true;
    rx.start();

    if (ws.check_if_file_saved(index) == AnswerCancel)
        return;

    ws.clear_editor(index);
    r.punching = false;
    r.save_filename.clear();
    r.auto_receive_flag = false;
    r.clear_button_flag = false;
    r.receive_button_flag = true;

    if (!port.is_open()) {
        port.close_port();
        if (!port.port_start() && !port.port_start()) {
            machine.note(QStringLiteral("Cannot Initialize Serial Port: ") + port.port_name());
            return;
        }
    }

    if (engine_.hooks().receive_button_scripts)
        engine_.hooks().receive_button_scripts(machine);

    r.abort2 = false;
    port.set_flow_state(true);

    if (r.file_type == FileBinary)
        return;

    disable_buttons(machine);
    r.receive_button_flag = false;
    r.end_program_flag = false;
    r.punching = false;

    // The line is ready before the notes say so: a control (or its
    // operator) that sends as soon as the server waits must not lose its
    // program to the purge, nor send one whose end finishes nothing.
    // Only the input is purged: what is still going out (the end of a send
    // that just finished, its DC4) belongs to the machine.
    port.purge(true, false);
    port.set_dtr(true);
    if (r.comm_handshake == HandshakeHwXonXoff) {
        port.set_rts(true);
    } else if (r.comm_handshake == HandshakeXonXoff) {
        port.handshake_line_setup();
        port.set_rts(true);
        port.set_dtr(true);
    }
    r.receiving_flag = true;

    machine.note(QStringLiteral("Waiting For Data"));
    if (r.auto_dnc_flag) {
        machine.note(r.auto_receive_flag
                         ? QStringLiteral("Waiting to Receive File ") + file_name_part(r.filename())
                         : kWaitingForCommand);
    }
    if (!rx.pending_note.isEmpty()) {
        machine.note(rx.pending_note);
        rx.pending_note.clear();
    }
}

void Receiving::finish_timer_fired(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    machine.stop_timer(MachineTimer::Finish);
    r.abort2 = true;
    finished_receiving_action(machine);
    if (r.auto_dnc_flag)
        r.abort2 = false;
    else
        r.receiving_flag = false;
    engine_.remote_command_active = false;
}

void Receiving::idle_timer_fired(Machine &machine)
{
    machine.stop_timer(MachineTimer::Idle);
    finished_receiving_action(machine);
}

void Receiving::apply_request_state(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    Workspace &ws = machine.workspace();
    const int index = machine.index();
    if (!r.auto_dnc_flag)
        return;
    switch (r.receive_or_send) {
    case RequestNone:
        display_filename(machine, QString());
        receive_start(machine);
        ws.set_editor_editable(index, false);
        machine.note(kWaitingForCommand);
        break;
    case RequestGet:
        display_filename(machine, r.filename());
        ws.highlight_line(index, 1);
        frame_send(machine);
        r.abort2 = false;
        break;
    case RequestSave:
        receive_start(machine);
        r.auto_receive_flag = true;
        display_filename(machine, r.filename());
        machine.note(QStringLiteral("Waiting to Receive File"));
        break;
    case RequestReset:
        machine.sender().stop_worker();
        display_filename(machine, QString());
        r.abort2 = true;
        // Emptied before the receive starts: once it has started, the next
        // request may already be arriving.
        ws.clear_editor(index);
        ws.set_progress_bar(index, 0);
        receive_start(machine);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- finish

void Receiving::finished_receiving(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    machine.workspace().set_editor_editable(machine.index(), true);
    machine.note(r.direct_file ? QStringLiteral("Finished Receiving Direct")
                               : QStringLiteral("Finished Receiving"));
    r.ok_to_save_settings_flag = true;
}

void Receiving::finished_receiving_action(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    Workspace &ws = machine.workspace();
    const int index = machine.index();
    ReceiveEngine &rx = receiver(machine);
    const EngineHooks &hooks = engine_.hooks();

    ws.set_editor_editable(index, true);

    if (r.direct_file) {
        rx.finish_line_buffer();
        finished_receiving(machine);
        rx.close_direct_file();
        r.direct_file = false;
        if (r.auto_dnc_flag) {
            r.receive_or_send = RequestReset;
            ws.clear_editor(index);
            apply_request_state(machine);
        }
        enable_buttons(machine);
        return;
    }

    if (!r.auto_dnc_flag) {
        r.is_last_line = true;
        r.memo_modified = true;
        if (!rx.finish_line_buffer() && !r.ReceiveLineScript.isEmpty() && hooks.input_line_script) {
            QString empty_line;
            hooks.input_line_script(machine, empty_line);
        }
        bool saved = false;
        if (engine_.use_remote_app() && engine_.remote_command_active) {
            const QString name = r.filename();
            if (!r.skip_finish_recieving_flag && !name.isEmpty()) {
                const MachineSettingsRecord &current =
                    engine_.machine(engine_.current_machine()).record();
                QString path;
                if (auto_save_file(machine, complete_remote_file_name(name, current), &path)) {
                    add_to_saved_files_log(machine, path);
                    saved = true;
                }
            }
            engine_.remote_command_active = false;
        }
        if (!r.punching) {
            if (r.skip_finish_recieving_flag)
                r.skip_finish_recieving_flag = false;
            else
                finished_receiving(machine);
            enable_buttons(machine);
        }
        r.punching = false;
        if (saved)
            machine.note(QStringLiteral("File Saved"));
        return;
    }

    // A last line that came without its line end belongs to the program
    // (and may hold the request).
    rx.finish_line_buffer();
    const int code = request_check(machine);
    r.receive_or_send = code;
    switch (code) {
    case RequestReset:
        ws.clear_editor(index);
        apply_request_state(machine);
        return;
    case RequestGet:
        ws.clear_editor(index);
        serve_file(machine, r.filename());
        apply_request_state(machine);
        return;
    case RequestSave:
        ws.clear_editor(index);
        r.auto_receive_flag = true;
        apply_request_state(machine);
        return;
    case RequestAutoSave:
        if (r.auto_receive_flag) {
            r.auto_receive_flag = false;
            r.receive_or_send = RequestReset;
            if (save_requested_program(machine))
                apply_request_state(machine);
            return;
        }
        // The marker is there, but no line named a file (an auto-save
        // marker ":" or "O" that does not start its line): nothing to save,
        // and the machine must not stay stuck with this program in its
        // editor.
        r.receive_or_send = RequestNone;
        break;
    default:
        break;
    }
    if (r.auto_receive_flag) {
        r.auto_receive_flag = false;
        if (!save_requested_program(machine))
            return;
    }
    ws.clear_editor(index);
    apply_request_state(machine);
}

bool Receiving::save_requested_program(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    QString path;
    if (auto_save_file(machine, r.filename(), &path)) {
        add_to_saved_files_log(machine, path);
        return true;
    }
    // Not saved: the program stays in the editor, unsaved, for the operator
    // to save; the machine waits again after the next Receive or Clear (or
    // its reset marker).
    receiver(machine).hold();
    r.memo_modified = true;
    r.receiving_flag = false;
    enable_buttons(machine);
    return false;
}

// ---------------------------------------------------------------- requests

int Receiving::request_check(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    if (r.trigger_autosave_flag.exchange(false))
        return RequestAutoSave;
    if (!r.auto_dnc_flag)
        return RequestNone;
    Workspace &ws = machine.workspace();
    const int index = machine.index();
    const int count = std::min(ws.editor_line_count(index), kRequestLines);
    QStringList lines;
    for (int line = 1; line <= count; ++line)
        lines.append(ws.editor_line(index, line));
    const RequestFound found =
        find_request(lines, r, file_list_folder(), options_.user_data_folder);
    if (!found.filename.isEmpty()) {
        r.set_filename(found.filename);
        if (found.show_filename)
            display_filename(machine, found.filename);
    }
    return found.code;
}

bool Receiving::serve_file(Machine &machine, const QString &path)
{
    MachineSettingsRecord &r = machine.record();
    Workspace &ws = machine.workspace();
    const int index = machine.index();
    const QFileInfo info(path);
    if (info.isFile())
        return load_editor_file(machine, path);

    // The reply goes into the editor as built, so that a reply file that
    // cannot be written never sends an older reply naming another file.
    const QStringList reply = not_found_program(r.LogProgNumber, path, info.dir().exists());
    const QString reply_path =
        join_folder(options_.user_data_folder, QString::fromLatin1(kNotFoundName));
    QString error;
    if (!write_program_file(reply_path, join_program_lines(reply), &error)) {
        r.set_filename(reply_path);
        machine.note(QStringLiteral("Cannot write %1: %2").arg(reply_path, error));
    }
    ws.set_editor_text(index, reply);
    display_filename(machine, reply_path);
    ws.highlight_line(index, 1);
    r.memo_modified = false;
    return false;
}

// ---------------------------------------------------------------- saving

bool Receiving::auto_save_file(Machine &machine, const QString &name, QString *saved_path)
{
    MachineSettingsRecord &r = machine.record();
    Workspace &ws = machine.workspace();
    ReceiveEngine &rx = receiver(machine);
    const QString path =
        complete_save_path(name, r.DefaultSaveDirectory, options_.user_data_folder);
    if (saved_path)
        *saved_path = path;
    const SaveOutcome outcome =
        save_program(path, ws.editor_lines(machine.index()), r.backup_directory);
    if (!outcome.saved) {
        const QString text = QStringLiteral("File Not Saved: %1: %2").arg(path, outcome.problem);
        rx.pending_note = text;
        machine.note(text);
        return false;
    }
    r.memo_modified = false;
    display_filename(machine, path);
    machine.note(QStringLiteral("File Saved"));
    if (!outcome.backup_problem.isEmpty()) {
        const QString where =
            outcome.backup_path.isEmpty() ? r.backup_directory : outcome.backup_path;
        const QString text =
            QStringLiteral("Backup Not Saved: %1: %2").arg(where, outcome.backup_problem);
        rx.pending_note = text;
        machine.note(text);
    }
    return true;
}

void Receiving::add_to_saved_files_log(Machine &machine, const QString &path)
{
    const MachineSettingsRecord &r = machine.record();
    const QString entry =
        saved_files_log_entry(path, QDateTime::currentDateTime(), QFileInfo(path).size());
    const QString log_path = saved_files_log_path();
    QString error;
    if (!dnc::add_to_saved_files_log(log_path, entry, r.MAX_LOG, r.LogCommand, &error))
        machine.note(QStringLiteral("Cannot write %1: %2").arg(log_path, error));
}

bool Receiving::save_editor_as(Machine &machine, const QString &chosen_name)
{
    MachineSettingsRecord &r = machine.record();
    Workspace &ws = machine.workspace();
    const int index = machine.index();
    const int lines = ws.editor_line_count(index);
    if (lines == 0 || (lines == 1 && ws.editor_line(index, 1).isEmpty()))
        return false;
    ws.set_editor_editable(index, true);
    r.punching = false;
    r.end_program_flag = false;
    if (chosen_name.isEmpty())
        return false;
    return auto_save_file(machine, with_default_extension(chosen_name, r.DefaultExtension));
}

QString Receiving::save_dialog_folder(Machine &machine) const
{
    const MachineSettingsRecord &r = machine.record();
    if (r.nc_filename.contains(QLatin1Char('/')))
        return QFileInfo(r.nc_filename).path();
    if (!r.DefaultSaveDirectory.isEmpty())
        return r.DefaultSaveDirectory;
    return file_list_folder();
}

bool Receiving::load_file_for_auto_serve(Machine &machine, const QString &path)
{
    MachineSettingsRecord &r = machine.record();
    if (r.auto_dnc_flag)
        frame_clear(machine, false);
    r.direct_file = false;
    if (!load_editor_file(machine, path))
        return false;
    machine.workspace().set_editor_editable(machine.index(), true);
    if (r.auto_dnc_flag) {
        r.set_filename(QFileInfo(path).absoluteFilePath());
        r.receive_or_send = RequestGet;
        apply_request_state(machine);
    }
    return true;
}

bool Receiving::start_direct_receive(Machine &machine, const QString &path)
{
    MachineSettingsRecord &r = machine.record();
    QString error;
    if (!receiver(machine).open_direct_file(path, &error)) {
        r.direct_file = false;
        engine_.show_message(QStringLiteral("Cannot Create File"),
                             QStringLiteral("%1: %2").arg(path, error), MessageOk);
        return false;
    }
    machine.workspace().clear_editor(machine.index());
    r.direct_file = true;
    receive_start(machine);
    display_filename(machine, path);
    return true;
}

std::shared_ptr<Receiving> install_receiving(Engine &engine, ReceivingOptions options)
{
    auto receiving = std::make_shared<Receiving>(engine, std::move(options));
    EngineHooks &hooks = engine.hooks();
    hooks.received = [receiving](Machine &machine, const QByteArray &bytes) {
        receiving->received(machine, bytes);
    };
    hooks.receive_action = [receiving](Machine &machine) { receiving->receive_start(machine); };
    hooks.apply_request_state = [receiving](Machine &machine) {
        receiving->apply_request_state(machine);
    };
    hooks.finish_timer = [receiving](Machine &machine) { receiving->finish_timer_fired(machine); };
    hooks.idle_timer = [receiving](Machine &machine) { receiving->idle_timer_fired(machine); };
    return receiving;
}

} // namespace dnc
