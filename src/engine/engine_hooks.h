// Work of other parts of the server that the machine object, the sender and
// the frame actions call at fixed points: receiving, auto-serve requests,
// scripts, LOOP blocks and subprograms. Each hook is optional; an empty hook
// means the feature is not there and the step is skipped.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace dnc
{

class Machine;

// What the send step does with a line after a LOOP or subprogram hook.
enum class DripFeedStep {
    Send,     // send the line as usual
    Continue, // do not send it; the step goes on at record.global_line_index
    Stop,     // the send ends here (the hook has said why, e.g. a message)
};

struct EngineHooks {
    // Line's event thread: every chunk of bytes the machine sent. Without
    // it the machine object only acts on DC1/DC3 (see Machine::received).
    // A receive handler calls Machine::dc1_received()/dc3_received() for
    // the flow-control characters it finds.
    std::function<void(Machine &, const QByteArray &bytes)> received;

    // UI thread: the frame's Receive action (also run by Stop with
    // auto-serve and by the port start).
    std::function<void(Machine &)> receive_action;

    // UI thread: auto-serve acts on record.receive_or_send (finished
    // sending and Clear set it to 103 first).
    std::function<void(Machine &)> apply_request_state;

    // UI thread, when Send is pressed: loads and runs the send-button
    // script and loads the output-line script.
    std::function<void(Machine &)> send_button_scripts;

    // UI thread, when a receive starts (the frame's Receive): the script
    // globals back to 0, the receive-button script loaded and run, the
    // input-line script loaded.
    std::function<void(Machine &)> receive_button_scripts;

    // Line's event thread (or the UI thread at the finish of a receive):
    // runs the input-line script on a received `line` and leaves its result
    // there. Called only when ReceiveLineScript is set.
    std::function<void(Machine &, QString &line)> input_line_script;

    // Thread of the send (worker, or the caller of punch_line_main): runs
    // the output-line script on `line` and leaves its result there. Called
    // only when SendLineScript is set and global_skip_basic_flag is off.
    std::function<void(Machine &, QString &line)> output_line_script;

    // UI thread, Reset: script library state and globals back to their
    // start, a running script halted.
    std::function<void(Machine &)> reset_scripts;

    // Send worker: a raw editor line that starts with "(LOOP " while UseLOOP
    // is on. The marker line itself is never sent (Send is taken as
    // Continue with the next line).
    std::function<DripFeedStep(Machine &, const QString &raw_line)> loop_line;

    // Send worker: a prepared line while UseSubprograms is on (calls, M99
    // returns, M30).
    std::function<DripFeedStep(Machine &, const QString &prepared_line)> subprogram_line;

    // UI thread: the frame's finish timer (1 ms, the end of a receive moved
    // to the UI thread) and idle timer (AfterReceiveTimer) fired. Start them
    // from any thread with Machine::start_timer().
    std::function<void(Machine &)> finish_timer;
    std::function<void(Machine &)> idle_timer;

    // UI thread, after a send finished while a script's file queue is
    // active (record.global_script_file_flag): sends the next queued file.
    std::function<void(Machine &)> script_queue_next;
};

} // namespace dnc
