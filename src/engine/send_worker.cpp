#include "engine/send_worker.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <thread>

namespace dnc
{

struct SendWorker::Run {
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended_cv;
    bool ended = false;
    std::thread thread;
};

SendWorker::~SendWorker()
{
    stop();
    wait();
    std::shared_ptr<Run> last;
    {
        std::lock_guard lock(mutex_);
        last = std::move(current_);
    }
    // Each run joins the one it replaced, so joining the last joins all.
    if (last && last->thread.joinable())
        last->thread.join();
}

void SendWorker::start(Body body)
{
    auto run = std::make_shared<Run>();
    std::shared_ptr<Run> previous;
    {
        std::lock_guard lock(mutex_);
        previous = current_;
        current_ = run;
    }
    if (previous)
        previous->stop = true;
    run->thread = std::thread([run, previous, body = std::move(body)]() mutable {
        if (previous && previous->thread.joinable())
            previous->thread.join();
        previous.reset();
        if (!run->stop)
            body(run->stop);
        std::lock_guard lock(run->mutex);
        run->ended = true;
        run->ended_cv.notify_all();
    });
}

void SendWorker::stop()
{
    std::lock_guard lock(mutex_);
    if (current_)
        current_->stop = true;
}

bool SendWorker::running() const
{
    std::shared_ptr<Run> run;
    {
        std::lock_guard lock(mutex_);
        run = current_;
    }
    if (!run)
        return false;
    std::lock_guard lock(run->mutex);
    return !run->ended;
}

bool SendWorker::wait(int timeout_ms)
{
    std::shared_ptr<Run> run;
    {
        std::lock_guard lock(mutex_);
        run = current_;
    }
    if (!run)
        return true;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    const bool pump_events = QCoreApplication::instance() &&
                             QThread::currentThread() == QCoreApplication::instance()->thread();
    std::unique_lock lock(run->mutex);
    while (!run->ended) {
        if (timeout_ms >= 0 && Clock::now() >= deadline)
            return false;
        if (pump_events) {
            lock.unlock();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            lock.lock();
            run->ended_cv.wait_for(lock, std::chrono::milliseconds(2));
        } else {
            run->ended_cv.wait_for(lock, std::chrono::milliseconds(50));
        }
    }
    return true;
}

} // namespace dnc
