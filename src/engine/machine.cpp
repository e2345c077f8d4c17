#include "engine/machine.h"

#include "comm/tape_code.h"
#include "engine/engine.h"
#include "engine/frame_actions.h"
#include "engine/send_engine.h"

#include <QThread>

namespace dnc
{

namespace
{

constexpr std::uint8_t kDc1 = 17;
constexpr std::uint8_t kDc3 = 19;

} // namespace

Machine::Machine(Engine &engine, int index)
    : engine_(engine), index_(index), record_(std::make_unique<MachineSettingsRecord>())
{
    port_ = std::make_unique<PortSession>(index, *record_, *this);
    port_->set_port_map(engine.port_map());
    sender_ = std::make_unique<SendEngine>(*this);

    struct TimerSetup {
        QTimer *timer;
        MachineTimer which;
        int interval_ms;
    };
    for (const TimerSetup &t : {TimerSetup{&finish_timer_, MachineTimer::Finish, 1},
                                TimerSetup{&idle_timer_, MachineTimer::Idle, 2000},
                                TimerSetup{&repeat_timer_, MachineTimer::Repeat, 10},
                                TimerSetup{&hw_flow_timer_, MachineTimer::HwFlow, 250}}) {
        t.timer->setSingleShot(true);
        t.timer->setInterval(t.interval_ms);
        connect(t.timer, &QTimer::timeout, this, [this, which = t.which] { timer_fired(which); });
    }
    reset_run_flags(*this);
}

Machine::~Machine()
{
    closing_ = true;
    record_->abort2 = true;
    record_->exit_loops_flag = true;
    // The worker writes to the port and the port's event thread calls the
    // sender: the worker ends first, then the port (its event thread with
    // it), then the sender.
    sender_->stop_worker();
    sender_->wait_for_worker();
    port_.reset();
    sender_.reset();
}

Workspace &Machine::workspace()
{
    return engine_.workspace();
}

QString Machine::note_text(const QString &text) const
{
    switch (record_->file_type) {
    case FileBinary:
        return QStringLiteral("Binary-") + text;
    case FileMazatrol:
    case FileMazatrolT1:
        return QStringLiteral("Mazatrol-") + text;
    default:
        return text;
    }
}

NoteColour Machine::status_colour() const
{
    switch (record_->file_type) {
    case FileBinary:
        return NoteColour::Binary;
    case FileMazatrol:
    case FileMazatrolT1:
        return NoteColour::Mazatrol;
    default:
        return record_->auto_dnc_flag ? NoteColour::AutoServe : NoteColour::Normal;
    }
}

bool Machine::on_ui_thread() const
{
    return QThread::currentThread() == thread();
}

void Machine::run_on_ui(std::function<void()> work)
{
    if (on_ui_thread())
        work();
    else
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void Machine::run_on_ui_blocking(const std::function<void()> &work)
{
    if (on_ui_thread())
        work();
    else
        QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
}

QTimer &Machine::timer(MachineTimer which)
{
    switch (which) {
    case MachineTimer::Finish:
        return finish_timer_;
    case MachineTimer::Idle:
        return idle_timer_;
    case MachineTimer::Repeat:
        return repeat_timer_;
    case MachineTimer::HwFlow:
        break;
    }
    return hw_flow_timer_;
}

void Machine::start_timer(MachineTimer which, int interval_ms)
{
    run_on_ui([this, which, interval_ms] {
        QTimer &t = timer(which);
        if (interval_ms >= 0)
            t.setInterval(interval_ms);
        t.start();
    });
}

void Machine::stop_timer(MachineTimer which)
{
    run_on_ui([this, which] { timer(which).stop(); });
}

bool Machine::timer_active(MachineTimer which) const
{
    return const_cast<Machine *>(this)->timer(which).isActive();
}

void Machine::timer_fired(MachineTimer which)
{
    const EngineHooks &hooks = engine_.hooks();
    switch (which) {
    case MachineTimer::Finish:
        if (hooks.finish_timer)
            hooks.finish_timer(*this);
        break;
    case MachineTimer::Idle:
        if (hooks.idle_timer)
            hooks.idle_timer(*this);
        break;
    case MachineTimer::Repeat:
        repeat_timer_fired(*this);
        break;
    case MachineTimer::HwFlow:
        sender_->hw_flow_timer_fired();
        break;
    }
}

void Machine::dc1_received()
{
    sender_->dc1_received();
}

void Machine::dc3_received()
{
    sender_->dc3_received();
}

void Machine::note(const QString &text)
{
    workspace().note(index_, note_text(text), status_colour());
}

int Machine::show_message(const QString &title, const QString &body, int kind)
{
    return engine_.show_message(title, body, kind);
}

void Machine::report_problem(const QString &text)
{
    run_on_ui([this, text] { engine_.show_message(QString(), text, MessageOk); });
}

void Machine::set_port_display(const QString &text)
{
    workspace().set_port_display(index_, text);
}

void Machine::flow_indicator_changed(bool on)
{
    workspace().flow_indicator_changed(index_, on);
    if (sender_)
        sender_->wake();
}

void Machine::highlight_line(int line)
{
    workspace().highlight_line(index_, line);
}

void Machine::start_send()
{
    sender_->start_punch();
}

bool Machine::back_plot_transfer_active()
{
    return engine_.dnc_from_veltrik;
}

void Machine::reset_action()
{
    frame_reset(*this);
}

void Machine::receive_action()
{
    if (engine_.hooks().receive_action)
        engine_.hooks().receive_action(*this);
}

void Machine::received(const QByteArray &bytes)
{
    if (engine_.hooks().received) {
        engine_.hooks().received(*this, bytes);
        return;
    }
    // Until receiving is plugged in, only the flow-control characters
    // matter: the machine's XON/XOFF while a send runs or waits.
    for (const char b : bytes) {
        const int c = convert_received_byte(*record_, std::uint8_t(b));
        if (c == kDc1)
            dc1_received();
        else if (c == kDc3)
            dc3_received();
    }
}

void Machine::cts_changed(bool cts)
{
    sender_->cts_changed(cts);
}

} // namespace dnc
