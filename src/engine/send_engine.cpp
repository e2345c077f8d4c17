#include "engine/send_engine.h"

#include "comm/port_session.h"
#include "comm/report_once.h"
#include "comm/tape_code.h"
#include "engine/engine.h"
#include "engine/engine_hooks.h"
#include "engine/frame_actions.h"
#include "engine/line_preparation.h"
#include "engine/machine.h"
#include "nc/subprogram.h"

#include <algorithm>

namespace dnc
{

namespace
{

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kDc3 = 19;
constexpr std::uint8_t kDc4 = 20;
constexpr std::uint8_t kCan = 24; // the XOFF of tape code "Other"

// The editor's highlight follows the send at most this often.
constexpr auto kHighlightInterval = std::chrono::milliseconds(50);
// Flags set by code that does not wake the worker are still seen this soon.
constexpr auto kFlagCheckInterval = std::chrono::milliseconds(50);
// HW Xon/Xoff: the flow indicator goes off this long after the last character.
constexpr auto kHwFlowHold = std::chrono::milliseconds(250);
// The single-line path waits for this much room in the output buffer when
// less than kMinimumFreeOutput is left.
constexpr int kMinimumFreeOutput = 256;
constexpr int kWantedFreeOutput = 300;

// The stop flag of the send worker running on this thread, so that the
// single-line path called from within a send step obeys it too.
thread_local const std::atomic<bool> *t_worker_stop = nullptr;

qint64 steady_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Each character through the "write byte" conversion.
QByteArray bytes_by_character(const MachineSettingsRecord &record, const QString &text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        bytes[i] = char(convert_byte_for_sending(record, std::uint8_t(text[i].unicode() & 0xff)));
    return bytes;
}

} // namespace

SendEngine::SendEngine(Machine &machine) : machine_(machine), record_(machine.record()) {}

SendEngine::~SendEngine()
{
    stop_worker();
    worker_.wait();
}

// ---------------------------------------------------------------- start

void SendEngine::start_punch()
{
    MachineSettingsRecord &r = record_;
    if (r.file_type != FileNormal || machine_.closing())
        return;
    Workspace &ws = machine_.workspace();
    const int index = machine_.index();

    // The revision first: a change after it makes the worker read again.
    const quint64 revision = ws.editor_revision(index);
    QStringList lines = ws.editor_lines(index);
    const int end_line = int(lines.size());
    const int first_line =
        r.SelectStart ? std::clamp(ws.editor_cursor_line(index), 1, std::max(end_line, 1)) : 1;
    r.exit_loops_flag = false;
    if (!r.auto_dnc_flag)
        r.receiving_flag = false;
    r.global_end_line = end_line;
    if (end_line == 0) {
        // Nothing to send: end at once instead of leaving the machine in
        // the sending state with its buttons off.
        finished_sending();
        return;
    }
    r.global_loop_count = -1;
    r.global_number_of_loops = 0;
    r.global_line_index = first_line;
    r.global_last_line_counter = 0;
    r.abort2 = false;
    if (r.comm_handshake == HandshakeHwXonXoff && r.WaitForSignalChecked &&
        machine_.port().adapter().family != 0)
        machine_.port().set_xon_xoff_control(true);

    quint64 run = 0;
    {
        std::lock_guard lock(run_mutex_);
        run = ++run_number_;
        r.punching = true;
        r.punch_thread_run = true;
    }
    worker_.start([this, run, lines = std::move(lines), revision](const std::atomic<bool> &stop) {
        own_run_ = run;
        lines_ = lines;
        lines_revision_ = revision;
        worker_body(stop);
    });
}

void SendEngine::wait_for_remote_start()
{
    MachineSettingsRecord &r = record_;
    r.punching = true;
    if (r.comm_handshake == HandshakeRtsCts) {
        r.xon = false;
        r.waiting_for_xon_to_punch = false;
        r.first_punch = true;
        r.waiting_for_cts_to_punch = true;
    } else {
        r.waiting_for_cts_to_punch = false;
        r.waiting_for_xon_to_punch = true;
        if (r.comm_handshake == HandshakeHwXonXoff)
            machine_.port().hw_xon_xoff_wait_setup();
    }
    machine_.note(QStringLiteral("Waiting For Remote Start") +
                  (r.direct_file ? QStringLiteral(" Direct") : QString()));
}

void SendEngine::configure_pacer(LinePacer &pacer) const
{
    const MachineSettingsRecord &r = record_;
    // Only the software XON/XOFF mode needs it: there the server itself
    // must stop at the machine's DC3. Elsewhere the driver or the hardware
    // stops the line.
    if (r.comm_handshake != HandshakeXonXoff) {
        pacer.configure(0, 0);
        return;
    }
    const int baud = is_listed_baud_rate(r.comm_baud_rate) ? r.comm_baud_rate : SerialConfig{}.baud;
    pacer.configure(baud, bits_per_char(r.comm_data_bits, r.comm_parity, r.comm_stop_bits));
}

// ---------------------------------------------------------------- worker

void SendEngine::worker_body(const std::atomic<bool> &stop)
{
    t_worker_stop = &stop;
    configure_pacer(worker_output_.pacer);
    worker_output_.chars_in_line = 0;
    last_progress_percent_ = -1;
    last_highlight_ = {};

    bool go_on = true;
    if (!record_.BeforeString.isEmpty()) {
        QStringList problems;
        const QByteArray leader = control_string_bytes(record_, record_.BeforeString, &problems);
        for (const QString &problem : problems) {
            const QString report =
                QStringLiteral("%1: in the leader \"%2\": %3")
                    .arg(machine_.port().port_name(), record_.BeforeString, problem);
            if (first_report(report))
                machine_.report_problem(report);
        }
        const Exit exit = output(worker_output_, leader, false, true, &stop);
        if (exit == Exit::Cancelled)
            send_cancelled();
        else if (exit == Exit::Quiet)
            stop_own_run();
        go_on = exit == Exit::None;
    }
    // Each step looks at the flags first, so a stop or cancel that comes
    // between two steps still ends the send the way it asked for.
    while (go_on && line_step(stop)) {
    }
    t_worker_stop = nullptr;
}

void SendEngine::refresh_snapshot_if_changed()
{
    Workspace &ws = machine_.workspace();
    const quint64 revision = ws.editor_revision(machine_.index());
    if (revision == lines_revision_)
        return;
    lines_revision_ = revision;
    lines_ = ws.editor_lines(machine_.index());
}

QString SendEngine::program_line(int line)
{
    if (line < 1 || line > lines_.size())
        return {};
    return lines_[line - 1];
}

void SendEngine::show_line(int line)
{
    highlight_target_ = line;
    const auto now = Clock::now();
    if (now - last_highlight_ < kHighlightInterval)
        return;
    if (highlight_pending_.exchange(true))
        return;
    last_highlight_ = now;
    machine_.run_on_ui([this] {
        highlight_pending_ = false;
        machine_.workspace().highlight_line(machine_.index(), highlight_target_);
    });
}

void SendEngine::report_progress(int line)
{
    MachineSettingsRecord &r = record_;
    if (line - r.global_last_line_counter <= 20)
        return;
    r.global_last_line_counter = line;
    const int end = r.global_end_line;
    const int percent = end > 0 ? int(qint64(line) * 100 / end) : 0;
    if (percent == last_progress_percent_)
        return;
    last_progress_percent_ = percent;
    machine_.workspace().set_progress_bar(machine_.index(), percent);
}

bool SendEngine::line_step(const std::atomic<bool> &stop)
{
    MachineSettingsRecord &r = record_;
    const EngineHooks &hooks = machine_.engine().hooks();
    refresh_snapshot_if_changed();
    const bool by_line = r.send_char_or_line == 1;

    // A LOOP or subprogram jump goes on with another line within this step.
    for (;;) {
        const Exit exit = check_exits(&stop);
        if (exit == Exit::Cancelled) {
            send_cancelled();
            return false;
        }
        if (exit == Exit::Quiet || (!r.punching && !r.auto_dnc_flag)) {
            stop_own_run();
            return false;
        }
        const int index = r.global_line_index;
        if (index > r.global_end_line) {
            end_punch(&stop);
            stop_own_run();
            return false;
        }
        show_line(index);
        const QString raw = program_line(index);
        if (index >= r.global_end_line)
            r.is_last_line = true;

        // A blank line skipped here leaves a LOOP's pass count alone, so a
        // blank line inside a LOOP block cannot make it repeat for ever.
        bool send = !(r.StripBlankLines && raw.isEmpty());
        QString line;
        if (send && r.UseLOOP && hooks.loop_line && is_loop_marker(raw)) {
            const DripFeedStep step = hooks.loop_line(machine_, raw);
            if (step == DripFeedStep::Stop) {
                send_cancelled();
                return false;
            }
            if (step == DripFeedStep::Send)
                r.global_line_index = index + 1;
            continue;
        }
        if (send) {
            line = prepare_line(r, raw);
            if (!r.global_skip_basic_flag && !r.SendLineScript.isEmpty() &&
                hooks.output_line_script)
                hooks.output_line_script(machine_, line);
            if (r.StripBlankLines && line.isEmpty()) {
                r.is_first_line = false;
                send = false;
            }
        }
        if (send && r.UseSubprograms && hooks.subprogram_line) {
            const DripFeedStep step = hooks.subprogram_line(machine_, line);
            if (step == DripFeedStep::Stop) {
                send_cancelled();
                return false;
            }
            if (step == DripFeedStep::Continue)
                continue;
        }
        if (send) {
            report_progress(r.global_line_index);
            worker_output_.chars_in_line = 0;
            const QByteArray bytes =
                by_line ? line_bytes_for_sending(r, line) : bytes_by_character(r, line);
            const Exit out = output(worker_output_, bytes, !by_line, true, &stop);
            if (out == Exit::Cancelled) {
                send_cancelled();
                return false;
            }
            if (out == Exit::Quiet) {
                stop_own_run();
                return false;
            }
            if (by_line && r.comm_handshake == HandshakeHwXonXoff &&
                r.waiting_for_xon_to_punch.exchange(false))
                note_sending_data();
        }
        r.global_line_index = r.global_line_index + 1;
        if (r.global_line_index > r.global_end_line) {
            end_punch(&stop);
            stop_own_run();
            return false;
        }
        return true;
    }
}

// ---------------------------------------------------------------- end

void SendEngine::end_punch(const std::atomic<bool> *stop)
{
    MachineSettingsRecord &r = record_;
    // The trailer and DC4 respect the machine's XOFF like the program: a
    // control that stopped the send must not get them into a full buffer.
    Exit exit = Exit::None;
    if (r.punching && !r.AfterString.isEmpty())
        exit = output(worker_output_, control_string_bytes(r, r.AfterString), false, true, stop);
    if (exit == Exit::None && r.SendChar20)
        exit = output(worker_output_, QByteArray(1, char(convert_byte_for_sending(r, kDc4))), false,
                      true, stop);
    if (exit == Exit::Cancelled) {
        send_cancelled();
        return;
    }
    if (exit == Exit::Quiet || !stop_own_run())
        return;
    machine_.workspace().set_progress_bar(machine_.index(), 0);
    finished_sending();
}

void SendEngine::finished_sending()
{
    MachineSettingsRecord &r = record_;
    Machine &m = machine_;
    {
        std::lock_guard lock(run_mutex_);
        r.punching = false;
    }
    m.workspace().set_editor_editable(m.index(), true);
    if (r.direct_file)
        m.note(QStringLiteral("Finished Sending Direct"));
    else if (r.abort2)
        m.note(QStringLiteral("Send Cancelled"));
    else
        m.note(QStringLiteral("Finished Sending"));

    m.run_on_ui([&m] {
        MachineSettingsRecord &rec = m.record();
        const EngineHooks &hooks = m.engine().hooks();
        const bool cts_mode =
            rec.comm_handshake == HandshakeRtsCts || rec.comm_handshake == HandshakeMode5;
        if (!(cts_mode && rec.auto_dnc_flag))
            enable_buttons(m);
        if (rec.auto_dnc_flag) {
            rec.receive_or_send = RequestReset;
            if (hooks.apply_request_state)
                hooks.apply_request_state(m);
        }
        rec.ok_to_save_settings_flag = true;
        if (rec.global_script_file_flag && hooks.script_queue_next)
            hooks.script_queue_next(m);
        if (m.engine().multi_machine())
            m.workspace().progress_bar_visible(m.index(), false);
        m.engine().remote_command_active = false;
        if (rec.RepeatSend)
            m.start_timer(MachineTimer::Repeat);
    });
}

void SendEngine::send_cancelled()
{
    if (!stop_own_run())
        return;
    machine_.note(QStringLiteral("Send Cancelled"));
    Machine &m = machine_;
    m.run_on_ui([&m] { enable_buttons(m); });
}

// ---------------------------------------------------------------- stop

void SendEngine::stop_worker()
{
    {
        std::lock_guard lock(run_mutex_);
        record_.punch_thread_run = false;
        record_.punching = false;
    }
    worker_.stop();
    wake();
}

bool SendEngine::stop_own_run()
{
    std::lock_guard lock(run_mutex_);
    if (run_number_ != own_run_)
        return false;
    record_.punch_thread_run = false;
    record_.punching = false;
    return true;
}

void SendEngine::cancel()
{
    record_.abort2 = true;
    worker_.stop();
    wake();
}

void SendEngine::wake()
{
    {
        std::lock_guard lock(wait_mutex_);
        ++wake_count_;
    }
    wake_cv_.notify_all();
}

// ---------------------------------------------------------------- flow

void SendEngine::dc1_received()
{
    MachineSettingsRecord &r = record_;
    if (r.comm_handshake == HandshakeRtsCts)
        return;
    machine_.port().set_flow_state(true);
    wake();
    if (r.waiting_for_xon_to_punch.exchange(false)) {
        note_sending_data();
        machine_.run_on_ui([this] { start_punch(); });
    }
}

void SendEngine::dc3_received()
{
    const int handshake = record_.comm_handshake;
    if (handshake == HandshakeRtsCts || handshake == HandshakeNone)
        return;
    machine_.port().set_flow_state(false);
}

void SendEngine::cts_changed(bool cts)
{
    MachineSettingsRecord &r = record_;
    // CTS is the flow state only where the handshake uses it; in the XON/XOFF
    // modes a wire that happens to move must not stop or start the send.
    if (r.comm_handshake != HandshakeRtsCts && r.comm_handshake != HandshakeMode5)
        return;
    machine_.port().set_flow_state(cts);
    wake();
    if (cts && r.waiting_for_cts_to_punch.exchange(false)) {
        note_sending_data();
        if (!machine_.engine().dnc_from_veltrik) {
            r.punching = true;
            machine_.run_on_ui([this] { start_punch(); });
        }
    }
}

void SendEngine::send_xoff()
{
    machine_.port().write_byte(record_.punch_format == PunchOther ? kCan : kDc3);
}

void SendEngine::hw_flow_timer_fired()
{
    const auto since_last = std::chrono::nanoseconds(steady_ns() - last_char_ns_);
    if (since_last < kHwFlowHold) {
        const auto rest =
            std::chrono::duration_cast<std::chrono::milliseconds>(kHwFlowHold - since_last);
        machine_.start_timer(MachineTimer::HwFlow, int(rest.count()) + 1);
        return;
    }
    hw_flow_timer_armed_ = false;
    if (record_.winsoft_xon_flag.exchange(false))
        machine_.port().set_flow_state(false);
}

void SendEngine::note_sending_data()
{
    machine_.note(QStringLiteral("Sending Data") +
                  (record_.direct_file ? QStringLiteral(" Direct") : QString()));
}

// ---------------------------------------------------------------- output

SendEngine::Exit SendEngine::check_exits(const std::atomic<bool> *stop) const
{
    if (record_.exit_loops_flag)
        return Exit::Quiet;
    if (record_.abort2)
        return Exit::Cancelled;
    if (stop && *stop)
        return Exit::Quiet;
    return Exit::None;
}

SendEngine::Exit SendEngine::wait_for_xon(const std::atomic<bool> *stop)
{
    for (;;) {
        const Exit exit = check_exits(stop);
        if (exit != Exit::None)
            return exit;
        if (record_.xon)
            return Exit::None;
        std::unique_lock lock(wait_mutex_);
        const unsigned seen = wake_count_;
        wake_cv_.wait_for(lock, kFlagCheckInterval, [&] {
            return wake_count_ != seen || record_.xon || check_exits(stop) != Exit::None;
        });
    }
}

void SendEngine::pause_until(Clock::time_point when, const std::atomic<bool> *stop)
{
    std::unique_lock lock(wait_mutex_);
    while (Clock::now() < when && check_exits(stop) == Exit::None) {
        const auto limit = std::min(when, Clock::now() + kFlagCheckInterval);
        const unsigned seen = wake_count_;
        wake_cv_.wait_until(lock, limit, [&] { return wake_count_ != seen; });
    }
}

void SendEngine::pause(Clock::duration duration, const std::atomic<bool> *stop)
{
    pause_until(Clock::now() + duration, stop);
}

qint64 SendEngine::write_chunk(const char *data, qsizetype size, const std::atomic<bool> *stop)
{
    return machine_.port().write_raw(QByteArray::fromRawData(data, size),
                                     stop ? stop : &record_.abort2);
}

SendEngine::Exit SendEngine::output(OutputState &state, const QByteArray &bytes, bool by_char,
                                    bool wait_xon, const std::atomic<bool> *stop, bool read_cts)
{
    MachineSettingsRecord &r = record_;
    const bool hw = r.comm_handshake == HandshakeHwXonXoff;
    const auto delay = std::chrono::milliseconds(std::max(r.punch_wait, 0));
    // Without a character delay the characters of a block go out in one
    // write (paced in the XON/XOFF mode): the bytes are the same, and the
    // flow checks still come before every write.
    const bool one_at_a_time = by_char && delay.count() > 0;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        Exit exit = check_exits(stop);
        if (exit != Exit::None)
            return exit;
        if (read_cts)
            machine_.port().read_cts();
        if (wait_xon && !hw) {
            exit = wait_for_xon(stop);
            if (exit != Exit::None)
                return exit;
        }
        qsizetype count = one_at_a_time ? 1 : bytes.size() - pos;
        if (state.pacer.enabled()) {
            Clock::time_point retry_at;
            count = state.pacer.allowance(count, Clock::now(), machine_.port().output_queue(),
                                          &retry_at);
            if (count == 0) {
                pause_until(retry_at, stop);
                continue;
            }
        }
        if (hw && by_char) {
            last_char_ns_ = steady_ns();
            if (!hw_flow_timer_armed_.exchange(true))
                machine_.start_timer(MachineTimer::HwFlow, int(kHwFlowHold.count()));
        }
        write_chunk(bytes.constData() + pos, count, stop);
        if (state.pacer.enabled())
            machine_.port().flush_output();
        state.pacer.wrote(count, Clock::now());
        pos += count;
        if (hw && by_char) {
            if (!r.winsoft_xon_flag.exchange(true))
                machine_.port().set_flow_state(true);
            state.chars_in_line += int(count);
            if (state.chars_in_line >= 3 && r.waiting_for_xon_to_punch.exchange(false))
                note_sending_data();
        }
        if (one_at_a_time)
            pause(delay, stop);
    }
    if (!one_at_a_time && delay.count() > 0 && !bytes.isEmpty())
        pause(delay, stop);
    return Exit::None;
}

// ---------------------------------------------------------------- one line

int SendEngine::punch_line_main(const QString &input)
{
    MachineSettingsRecord &r = record_;
    const EngineHooks &hooks = machine_.engine().hooks();
    const std::atomic<bool> *stop = t_worker_stop;
    // Within a send the worker's own pacing goes on; elsewhere (a script,
    // automation) the line starts from an idle line.
    OutputState local_output;
    if (!stop)
        configure_pacer(local_output.pacer);
    OutputState &state = stop ? worker_output_ : local_output;

    QString line = input;
    if (!r.global_skip_basic_flag && !r.SendLineScript.isEmpty() && hooks.output_line_script) {
        hooks.output_line_script(machine_, line);
        if (line.isEmpty() && r.StripBlankLines)
            return 0;
    }
    const int mode = r.send_char_or_line;
    if (mode != 0 && mode != 1)
        return 0;
    bool comment_only = false;
    const QString body = prepare_line_body(r, line, &comment_only);
    if (comment_only)
        return 0;
    // One tape-code conversion, as on the worker's own path: converting the
    // body twice would send every "Other" character through its table twice.
    const QByteArray bytes = line_bytes_for_sending(r, body + end_of_block_string(r));
    if (r.xon_counter.fetch_add(1) + 1 == 2)
        note_sending_data();

    if (mode == 1) {
        Exit exit = r.comm_handshake == HandshakeHwXonXoff ? check_exits(stop) : wait_for_xon(stop);
        PortSession &port = machine_.port();
        while (exit == Exit::None && port.free_output_space() < kMinimumFreeOutput) {
            while (exit == Exit::None && port.free_output_space() < kWantedFreeOutput) {
                pause(std::chrono::milliseconds(1), stop);
                exit = check_exits(stop);
            }
        }
        if (exit == Exit::None)
            exit = output(state, bytes, false, true, stop);
        if (exit == Exit::Cancelled)
            machine_.note(QStringLiteral("Send Cancelled"));
        if (exit != Exit::None)
            return 1;
    } else {
        state.chars_in_line = 0;
        const bool read_cts = r.comm_handshake == HandshakeRtsCts;
        const Exit exit = output(state, bytes, true, true, stop, read_cts);
        if (exit == Exit::Cancelled)
            machine_.note(QStringLiteral("Send Cancelled"));
        if (exit != Exit::None)
            return 1;
    }
    r.is_first_line = false;
    return 0;
}

} // namespace dnc
