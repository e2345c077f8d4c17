// One machine tool as the engine sees it: its settings record, its serial
// port session, its sender (worker thread included), its frame timers, and
// the one way its status reaches the operator (`note`).
//
// Threads: a Machine is created, configured and destroyed on the UI thread
// (the thread of the Engine). note(), show_message() with the remote-app
// option, start_timer()/stop_timer(), run_on_ui() and the record's atomic
// flags may be used from any thread. The port session calls received() and
// cts_changed() on the line's event thread.
//
// Where receiving plugs in (EngineHooks): `received` gets every chunk of
// bytes on the line's event thread and calls dc1_received()/dc3_received()
// for the flow-control characters; `finish_timer`/`idle_timer` run on the
// UI thread when start_timer(MachineTimer::Finish/Idle) fires;
// `receive_action` is the frame's Receive.
#pragma once

#include "comm/port_session.h"
#include "config/machine_settings_record.h"
#include "engine/workspace.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

namespace dnc
{

class Engine;
class SendEngine;

// The frame's timers.
enum class MachineTimer {
    Finish, // 1 ms: the end of a receive, moved to the UI thread
    Idle,   // AfterReceiveTimer: no data for AutoReceiveSeconds
    Repeat, // 10 ms: RepeatSend runs Reset and Send again
    HwFlow, // 250 ms: HW Xon/Xoff flow indicator back off after the last character
};

class Machine : public QObject, public PortSessionHost
{
    Q_OBJECT
public:
    Machine(Engine &engine, int index);
    ~Machine() override;

    int index() const { return index_; }
    // The machine is going away: nothing new may start.
    bool closing() const { return closing_; }
    Engine &engine() { return engine_; }
    Workspace &workspace();
    MachineSettingsRecord &record() { return *record_; }
    const MachineSettingsRecord &record() const { return *record_; }
    PortSession &port() { return *port_; }
    SendEngine &sender() { return *sender_; }

    // ---- status ----
    // The text as the operator sees it: "Binary-" in front for file type 1,
    // "Mazatrol-" for types 2 and 3.
    QString note_text(const QString &text) const;
    // By file type, then auto-serve.
    NoteColour status_colour() const;

    // ---- threads ----
    bool on_ui_thread() const;
    // Runs `work` on the UI thread: at once when called there, otherwise
    // queued (not waited for).
    void run_on_ui(std::function<void()> work);
    // Runs `work` on the UI thread and waits for it.
    void run_on_ui_blocking(const std::function<void()> &work);

    // ---- frame timers (any thread) ----
    void start_timer(MachineTimer timer, int interval_ms = -1);
    void stop_timer(MachineTimer timer);
    // UI thread.
    bool timer_active(MachineTimer timer) const;

    // ---- frame actions that go on later (UI thread) ----
    // A new action number; an action that continues later (Send after its
    // port restart) goes on only while its number is still the current one,
    // so a Clear or Reset in between cancels it.
    unsigned next_action() { return ++action_number_; }
    bool action_current(unsigned action) const { return action == action_number_; }

    // ---- flow control from the receive side (line's event thread) ----
    // DC1 (XON): the flow state goes on; a send waiting for the machine's
    // start signal starts. With RTS/CTS the character is ignored.
    void dc1_received();
    // DC3 (XOFF): the flow state goes off (ignored with handshake None and
    // with RTS/CTS).
    void dc3_received();

    // ---- PortSessionHost ----
    void note(const QString &text) override;
    int show_message(const QString &title, const QString &body, int kind) override;
    void report_problem(const QString &text) override;
    void set_port_display(const QString &text) override;
    void flow_indicator_changed(bool on) override;
    void highlight_line(int line) override;
    void start_send() override;
    bool back_plot_transfer_active() override;
    void reset_action() override;
    void receive_action() override;
    void received(const QByteArray &bytes) override;
    void cts_changed(bool cts) override;

private:
    QTimer &timer(MachineTimer which);
    void timer_fired(MachineTimer which);

    Engine &engine_;
    const int index_;
    std::unique_ptr<MachineSettingsRecord> record_;
    std::unique_ptr<PortSession> port_;
    std::unique_ptr<SendEngine> sender_;
    QTimer finish_timer_;
    QTimer idle_timer_;
    QTimer repeat_timer_;
    QTimer hw_flow_timer_;
    unsigned action_number_ = 0;
    std::atomic<bool> closing_{false};
};

} // namespace dnc
