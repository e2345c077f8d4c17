// A host for the web remote in tests: machines held in a snapshot the test
// edits, and every action the remote hands over written to a log.
#pragma once

#include "remote/remote_host.h"

#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <future>

namespace dnc::test
{

class TestRemoteHost : public RemoteHost
{
public:
    RemoteSnapshot state;
    QStringList log;      // "send 0", "load 0 /path", ...
    QStringList messages; // bodies of show_message
    bool load_succeeds = true;
    std::atomic<bool> command_active{false};

    RemoteSnapshot remote_snapshot() override { return state; }
    std::atomic<bool> &remote_command_active() override { return command_active; }
    void select_machine(int index) override
    {
        log << QStringLiteral("select %1").arg(index);
        state.selected_machine = index;
    }
    void change_machine() override { log << QStringLiteral("change"); }
    bool is_sending(int record) override { return state.records.at(record).sending; }
    void set_global_filename(int record, const QString &path) override
    {
        log << QStringLiteral("filename %1 %2").arg(record).arg(path);
    }
    void clear(int record) override { log << QStringLiteral("clear %1").arg(record); }
    void receive(int record) override { log << QStringLiteral("receive %1").arg(record); }
    void send(int record) override { log << QStringLiteral("send %1").arg(record); }
    void binary_send(int record) override { log << QStringLiteral("binary %1").arg(record); }
    bool load_editor_file(int record, const QString &path) override
    {
        log << QStringLiteral("load %1 %2").arg(record).arg(path);
        return load_succeeds;
    }
    void set_and_display_filename(int record, const QString &path) override
    {
        log << QStringLiteral("display %1 %2").arg(record).arg(path);
    }
    void note(int record, const QString &text) override
    {
        log << QStringLiteral("note %1 %2").arg(record).arg(text);
    }
    void show_ready_note(int record) override { log << QStringLiteral("ready %1").arg(record); }
    int show_message(const QString &, const QString &body, int) override
    {
        messages << body;
        return 0;
    }
};

// One machine record with the given name and status line.
inline RemoteMachineView test_machine(const QString &status = QStringLiteral("COM1 Ready"))
{
    RemoteMachineView m;
    m.status_text = status;
    m.default_extension = QStringLiteral(".nc");
    return m;
}

// Runs `work` on another thread while this thread's event loop runs, as the
// UI thread's loop runs while the remote serves a client.
template <class F> auto while_event_loop_runs(F work) -> decltype(work())
{
    QEventLoop loop;
    auto result = std::async(std::launch::async, [&] {
        struct Quit {
            QEventLoop &loop;
            ~Quit() { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); }
        } quit{loop};
        return work();
    });
    loop.exec();
    return result.get();
}

// Lets the event loop run for `ms` (the remote's 10 ms timers fire).
inline void run_event_loop_for(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace dnc::test
