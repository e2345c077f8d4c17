// A machine's send worker: one thread per running send that repeats the
// send step until the send ends or is stopped.
//
// A new send replaces the worker even while the old one still runs: the old
// one is told to stop, and the new thread first waits for it to end, so two
// sends never write to the line at once. Each run has its own stop flag, so
// a replaced worker cannot be revived by the flags of the next send.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace dnc
{

class SendWorker
{
public:
    using Body = std::function<void(const std::atomic<bool> &stop)>;

    SendWorker() = default;
    // Stops the worker and waits for it (see wait()).
    ~SendWorker();
    SendWorker(const SendWorker &) = delete;
    SendWorker &operator=(const SendWorker &) = delete;

    // Starts a new run of `body` on its own thread; a running worker is told
    // to stop and the new run begins once it has ended.
    void start(Body body);
    // Tells the current run to stop (does not wait).
    void stop();
    // True while the last run started has not ended.
    bool running() const;
    // Waits until the last run ended; false after `timeout_ms` (-1 = no
    // limit). On the thread that owns the Qt event loop it keeps handling
    // events meanwhile, so a worker waiting for that thread can finish.
    bool wait(int timeout_ms = -1);

private:
    struct Run;
    mutable std::mutex mutex_;
    std::shared_ptr<Run> current_;
};

} // namespace dnc
