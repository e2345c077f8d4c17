// Sending ("punching") a machine's program: the start, the line step that
// the worker repeats, flow control (XON/XOFF from the receive side, CTS
// events, HW Xon/Xoff), the end with trailer and DC4, a cancel, and the
// single-line output path used by subprogram files, scripts and automation.
//
// The worker sends from a snapshot of the editor taken when the send starts
// and taken again only when the editor's revision changes, so reading the
// next line never waits for the UI thread. Highlight and progress updates
// are coalesced: the editor's highlight moves at most every 50 ms, the
// progress at most every 21 lines and only when its percentage changes.
//
// Waits (for XON, CTS, pacing, the character delay) sleep on a condition
// variable that every flow change, stop and cancel wakes; they never spin.
#pragma once

#include "engine/line_pacer.h"
#include "engine/send_worker.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace dnc
{

class Machine;
struct MachineSettingsRecord;

class SendEngine
{
public:
    explicit SendEngine(Machine &machine);
    // Stops the worker and waits for it.
    ~SendEngine();
    SendEngine(const SendEngine &) = delete;
    SendEngine &operator=(const SendEngine &) = delete;

    // ---- UI thread ----
    // Start punch: takes the program from the editor and starts the worker,
    // which writes the leader (BeforeString) and then the lines.
    void start_punch();
    // Wait for remote start: the send starts at the machine's DC1 (or CTS
    // with RTS/CTS); note "Waiting For Remote Start".
    void wait_for_remote_start();
    // HW-flow timer fired: the flow indicator goes off once the characters
    // stopped flowing.
    void hw_flow_timer_fired();

    // ---- any thread ----
    // Stop worker: punch_thread_run and punching off, the worker told to
    // stop at its next check (after the current character).
    void stop_worker();
    // A Stop during a send: abort2 on; the worker ends after the current
    // character with "Send Cancelled", without trailer or DC4.
    void cancel();
    // Flags changed: every wait of the worker looks at them again now.
    void wake();
    bool worker_running() const { return worker_.running(); }
    // Waits for the worker to end (see SendWorker::wait()).
    bool wait_for_worker(int timeout_ms = -1) { return worker_.wait(timeout_ms); }

    // ---- line's event thread ----
    void dc1_received();
    void dc3_received();
    void cts_changed(bool cts);

    // Writes the XOFF character (DC3, or 24 for tape code "Other").
    void send_xoff();

    // The single-line output path: output-line script, preparation, tape
    // code, end of block, flow control and character delay, by character or
    // by line. Returns 0 when the line was sent or skipped, 1 when the send
    // was cancelled (abort2, exit_loops_flag or the worker's stop).
    int punch_line_main(const QString &line);

    // ---- send worker only (the LOOP and subprogram hooks) ----
    // The program as this send reads it: the editor's snapshot.
    const QStringList &program_lines() const { return lines_; }
    // Number of the send the worker runs; every start punch makes a new one.
    quint64 run_number() const { return own_run_; }

private:
    enum class Exit { None, Quiet, Cancelled };

    // What a stream of writes keeps between blocks: the pacer and, for HW
    // Xon/Xoff, the characters written of the current line.
    struct OutputState {
        LinePacer pacer;
        int chars_in_line = 0;
    };

    void worker_body(const std::atomic<bool> &stop);
    // The worker ends its own run: the record's send flags go off unless a
    // newer send has taken over. False when a newer send owns them.
    bool stop_own_run();
    // One step (one editor line, or more when a LOOP or subprogram jump
    // continues the step). False when the worker must stop.
    bool line_step(const std::atomic<bool> &stop);
    void end_punch(const std::atomic<bool> *stop);
    void finished_sending();
    // The cancel exit: "Send Cancelled", the worker stops, buttons enabled.
    void send_cancelled();

    // Editor lines from the snapshot (1-based; beyond the end: empty).
    QString program_line(int line);
    void refresh_snapshot_if_changed();
    void show_line(int line);
    void report_progress(int line);

    Exit check_exits(const std::atomic<bool> *stop) const;
    // Waits until the machine allows sending (`xon`), or an exit.
    Exit wait_for_xon(const std::atomic<bool> *stop);
    // Writes bytes with flow control: `by_char` writes one character at a
    // time with the character delay after each (and the exits checked
    // before each); otherwise the whole block, then the delay. Software
    // XON/XOFF paces by the baud rate in both cases.
    // `read_cts` reads the CTS line into the flow state before each write.
    Exit output(OutputState &state, const QByteArray &bytes, bool by_char, bool wait_xon,
                const std::atomic<bool> *stop, bool read_cts = false);
    // Sleeps up to `duration`, ending early at an exit or a wake-up.
    void pause(std::chrono::steady_clock::duration duration, const std::atomic<bool> *stop);
    void pause_until(std::chrono::steady_clock::time_point when, const std::atomic<bool> *stop);
    qint64 write_chunk(const char *data, qsizetype size, const std::atomic<bool> *stop);
    void note_sending_data();
    void configure_pacer(LinePacer &pacer) const;

    Machine &machine_;
    MachineSettingsRecord &record_;
    SendWorker worker_;

    std::mutex wait_mutex_;
    std::condition_variable wake_cv_;
    unsigned wake_count_ = 0; // guarded by wait_mutex_

    // Every start and stop of a send changes the send flags of the record
    // (punching, punch_thread_run) under this lock; a send's run number
    // tells a replaced worker that the flags are no longer its own.
    std::mutex run_mutex_;
    quint64 run_number_ = 0; // guarded by run_mutex_

    // Worker thread only.
    quint64 own_run_ = 0;
    QStringList lines_;
    quint64 lines_revision_ = 0;
    OutputState worker_output_;
    int last_progress_percent_ = -1;
    std::chrono::steady_clock::time_point last_highlight_{};

    // Highlight requests posted to the UI thread, at most one at a time.
    std::atomic<int> highlight_target_{0};
    std::atomic<bool> highlight_pending_{false};

    // HW Xon/Xoff: when the last character was written (steady clock, ns),
    // and whether the HW-flow timer is already running.
    std::atomic<qint64> last_char_ns_{0};
    std::atomic<bool> hw_flow_timer_armed_{false};
};

} // namespace dnc
