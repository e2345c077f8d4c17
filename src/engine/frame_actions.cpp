#include "engine/frame_actions.h"

#include "engine/engine.h"
#include "engine/machine.h"
#include "engine/send_engine.h"

#include <QTimer>
#include <chrono>
#include <thread>

namespace dnc
{

namespace
{

const QString kWaitingForCommand = QStringLiteral("Waiting for Server Command");

// The port is closed this long before a send opens it again, so that an
// adapter or a control that reacts to the modem lines sees a clean restart.
constexpr int kPortRestartMs = 250;

// Step 8 of Send, once the port start has run: progress bar, and the HW
// Xon/Xoff start of a Prolific adapter, which holds the transmitter until the
// machine's DC1 (the driver releases it). Without wait-for-signal the port
// start has started the send already, and it starts only once.
void begin_send(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    if (machine.engine().multi_machine())
        machine.workspace().progress_bar_visible(machine.index(), true);
    if (r.comm_handshake == HandshakeHwXonXoff && machine.port().adapter().family == 0 &&
        r.WaitForSignalChecked) {
        machine.port().hold_transmitter();
        machine.sender().start_punch();
    }
}

} // namespace

void frame_send(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    Workspace &ws = machine.workspace();
    const int index = machine.index();
    const EngineHooks &hooks = machine.engine().hooks();

    // Binary and Mazatrol files travel their own ways.
    if (r.file_type != FileNormal)
        return;
    if (!r.direct_file) {
        const int lines = ws.editor_line_count(index);
        if (lines == 0 || (lines == 1 && ws.editor_line(index, 1).isEmpty()))
            return;
    }

    machine.port().purge(true, true);
    r.RepeatSend = false;
    machine.stop_timer(MachineTimer::Repeat);
    r.ok_to_save_settings_flag = false;

    r.memo_modified = false;
    r.end_on_char_flag = false;
    r.current_sub_level = 0;
    r.trigger_autosave_flag = false;
    ws.set_editor_editable(index, false);
    machine.stop_timer(MachineTimer::Idle);
    r.is_doing_binary = false;
    r.skip_finish_recieving_flag = true;
    r.is_first_line = true;
    r.is_last_line = false;
    machine.engine().dnc_from_veltrik = false;
    r.abort2 = false;
    r.end_program_flag = false;
    r.global_input_line_number = 1;
    r.send_button_flag = true;
    r.waiting_for_xon_to_punch = false;

    if (hooks.send_button_scripts)
        hooks.send_button_scripts(machine);
    r.global_skip_script_load = false;

    disable_buttons(machine);

    // The port start dispatches the send by handshake: it starts it, or sets
    // up the wait for the machine's signal. With always_init_comm the port
    // is closed for a moment first.
    const unsigned action = machine.next_action();
    const auto start = [&machine] {
        machine.port().port_start();
        if (machine.record().WaitForSignalChecked)
            machine.sender().wait_for_remote_start();
        begin_send(machine);
    };
    if (r.auto_dnc_flag) {
        if (r.WaitForSignalChecked)
            machine.sender().wait_for_remote_start();
        begin_send(machine);
    } else if (r.always_init_comm && !r.global_script_file_flag) {
        machine.port().close_port();
        QTimer::singleShot(kPortRestartMs, &machine, [&machine, action, start] {
            if (machine.action_current(action))
                start();
        });
    } else {
        start();
    }
}

void frame_cancel_send(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    machine.next_action();
    if (!machine.sender().worker_running() &&
        (r.waiting_for_xon_to_punch || r.waiting_for_cts_to_punch || r.send_button_flag)) {
        // Nothing went out yet: the send was still waiting for the machine.
        r.waiting_for_xon_to_punch = false;
        r.waiting_for_cts_to_punch = false;
        machine.sender().stop_worker();
        machine.note(QStringLiteral("Send Cancelled"));
        enable_buttons(machine);
        return;
    }
    machine.sender().cancel();
}

void frame_clear(Machine &machine, bool empty_editor)
{
    MachineSettingsRecord &r = machine.record();
    Workspace &ws = machine.workspace();
    const int index = machine.index();

    r.receiving_flag = false;
    machine.stop_timer(MachineTimer::Idle);
    r.end_on_char_flag = false;
    r.exit_loops_flag = true;
    r.trigger_autosave_flag = false;
    // A send that was waiting for the machine's start signal is over too:
    // a later DC1 or CTS from the machine must not start it.
    r.waiting_for_xon_to_punch = false;
    r.waiting_for_cts_to_punch = false;
    ws.set_editor_editable(index, true);
    r.abort2 = true;
    machine.sender().stop_worker();
    ws.set_progress_bar(index, 0);
    machine.next_action();

    if (r.auto_dnc_flag) {
        r.receive_or_send = RequestReset;
        if (machine.engine().hooks().apply_request_state)
            machine.engine().hooks().apply_request_state(machine);
        return;
    }

    machine.stop_timer(MachineTimer::Finish);
    frame_stop(machine);
    if (empty_editor && ws.check_if_file_saved(index) != AnswerCancel) {
        ws.clear_editor(index);
        r.memo_modified = false;
        ws.set_and_display_filename(index, QString());
    }
    if (!machine.port().is_open())
        machine.port().port_start();
    if (r.auto_dnc_flag)
        machine.note(kWaitingForCommand);
    else
        machine.port().show_ready_note();
    r.abort2 = true;
    if (machine.engine().multi_machine())
        ws.progress_bar_visible(index, false);
}

void frame_stop(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    Workspace &ws = machine.workspace();
    reset_run_flags(machine);
    r.binary_abort = true;
    if (r.auto_dnc_flag) {
        r.auto_receive_flag = false;
        machine.receive_action();
        return;
    }
    r.clear_button_flag = true;
    enable_buttons(machine);
    if (r.file_type != FileNormal)
        ws.set_editor_editable(machine.index(), false);
    if (machine.engine().multi_machine())
        ws.progress_bar_visible(machine.index(), false);
}

void frame_reset(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    machine.sender().cancel();
    // Lets a running send see the cancel first and say "Send Cancelled".
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    machine.stop_timer(MachineTimer::Repeat);
    r.global_skip_script_load = false;
    r.RepeatSend = false;

    if (!machine.port().purge(true, true)) {
        machine.port().close_port();
        machine.port().show_ready_note();
        return;
    }
    if (r.file_type == FileMazatrol || r.file_type == FileMazatrolT1)
        r.waiting_for_xon_to_punch = false;

    frame_clear(machine, false);
    machine.set_port_display(machine.port().settings_line());
    if (machine.engine().hooks().reset_scripts)
        machine.engine().hooks().reset_scripts(machine);
    r.global_script_file_flag = false;
    r.global_script_file_counter = 0;
}

void repeat_timer_fired(Machine &machine)
{
    machine.stop_timer(MachineTimer::Repeat);
    frame_reset(machine);
    frame_send(machine);
}

void enable_buttons(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    Workspace &ws = machine.workspace();
    const int index = machine.index();
    ws.set_editor_editable(index, true);
    r.send_button_flag = false;
    machine.engine().dnc_from_veltrik = false;
    for (FrameButton button : {FrameButton::Send, FrameButton::Receive, FrameButton::Save,
                               FrameButton::Print, FrameButton::Clear})
        ws.enable_button(index, button, true);
    ws.highlight_line(index, 1);
    r.abort2 = false;
    r.receiving_flag = false;
    r.ok_to_save_settings_flag = true;
}

void disable_buttons(Machine &machine)
{
    Workspace &ws = machine.workspace();
    const int index = machine.index();
    for (FrameButton button : {FrameButton::Send, FrameButton::Receive, FrameButton::Save,
                               FrameButton::Print, FrameButton::Clear})
        ws.enable_button(index, button, false);
    machine.record().ok_to_save_settings_flag = false;
}

void reset_run_flags(Machine &machine)
{
    MachineSettingsRecord &r = machine.record();
    r.end_program_flag = false;
    r.punching = false;
    r.abort2 = false;
    r.receiving_flag = false;
    r.send_xon_flag = false;
    r.skip_finish_recieving_flag = false;
    r.global_skip_basic_flag = false;
    r.global_input_line_number = 1;
    machine.port().set_flow_state(true);
    r.ok_to_save_settings_flag = true;
}

} // namespace dnc
