#include "comm/fd_serial_line.h"

#include "comm/report_once.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace dnc
{

namespace
{

constexpr int kReadChunk = 65536;
// How often a blocked writer looks at its abort flag, which nobody can wake
// it for.
constexpr int kAbortCheckMs = 20;

void signal_fd(int fd)
{
    if (fd >= 0)
        eventfd_write(fd, 1);
}

void clear_fd(int fd)
{
    eventfd_t value;
    if (fd >= 0)
        eventfd_read(fd, &value);
}

} // namespace

FdSerialLine::FdSerialLine()
{
    wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    thread_ = std::thread([this] { event_loop(); });
}

FdSerialLine::~FdSerialLine()
{
    shut_down();
    if (wake_fd_ >= 0)
        ::close(wake_fd_);
}

void FdSerialLine::shut_down()
{
    if (!thread_.joinable())
        return;
    close();
    {
        std::unique_lock lock(fd_mutex_);
        stop_ = true;
        signal_fd(wake_fd_);
    }
    reader_cv_.notify_all();
    wake_writers();
    // The event thread may be inside a handler that waits for this (the UI)
    // thread; keep serving this thread's events until it has left.
    const bool serve_events = QCoreApplication::instance() &&
                              QThread::currentThread() == QCoreApplication::instance()->thread();
    while (!loop_ended_) {
        if (serve_events)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    thread_.join();
}

void FdSerialLine::set_events(SerialEvents events)
{
    std::lock_guard lock(events_mutex_);
    events_ = std::move(events);
}

SerialEvents FdSerialLine::events_copy() const
{
    std::lock_guard lock(events_mutex_);
    return events_;
}

bool FdSerialLine::open(const SerialConfig &config, QString *error)
{
    close();
    QStringList refused;
    QString open_error;
    const int fd = open_fd(config, &open_error, &refused);
    if (fd < 0) {
        if (error)
            *error = open_error;
        return false;
    }
    QStringList news;
    for (const QString &item : refused) {
        if (first_report(config.device + QStringLiteral(": ") + item))
            news.append(item);
    }
    {
        std::lock_guard lock(events_mutex_);
        limits_ = news.join(QStringLiteral(", "));
    }
    {
        std::lock_guard lock(pending_mutex_);
        pending_.clear();
    }
    {
        std::unique_lock lock(fd_mutex_);
        fd_ = fd;
        ++generation_;
        config_ = config;
    }
    reader_cv_.notify_all();
    return true;
}

void FdSerialLine::close()
{
    close_generation(0);
}

bool FdSerialLine::close_generation(quint64 generation)
{
    closing_ = true;
    signal_fd(wake_fd_);
    wake_writers();
    bool closed = false;
    {
        std::unique_lock lock(fd_mutex_);
        if (fd_ >= 0 && (generation == 0 || generation == generation_)) {
            before_close(fd_);
            ::close(fd_);
            fd_ = -1;
            closed = true;
        }
        if (!stop_)
            clear_fd(wake_fd_);
        closing_ = false;
    }
    reader_cv_.notify_all();
    return closed;
}

bool FdSerialLine::is_open() const
{
    std::shared_lock lock(fd_mutex_);
    return fd_ >= 0;
}

qint64 FdSerialLine::write(const char *data, qint64 size, const std::atomic<bool> *abort)
{
    qint64 done = 0;
    std::shared_lock lock(fd_mutex_);
    while (done < size) {
        if (fd_ < 0 || closing_ || stop_ || (abort && abort->load()))
            break;
        if (output_stopped()) {
            std::unique_lock stop_lock(stop_mutex_);
            stop_cv_.wait_for(stop_lock, std::chrono::milliseconds(kAbortCheckMs));
            continue;
        }
        qint64 chunk = size - done;
        const int queued = config_.out_buffer > 0 ? queued_bytes(fd_) : -1;
        if (queued >= 0) {
            // Keep no more than the machine's output buffer in the driver,
            // so that a stop or a DC3 has little left to go out.
            const qint64 room = qint64(config_.out_buffer) - queued;
            if (room <= 0) {
                const int char_us = 11 * 1000000 / std::max(config_.baud, 50);
                const int wait_ms = std::clamp(int((1 - room) * char_us / 1000), 1, kAbortCheckMs);
                pollfd wake{wake_fd_, POLLIN, 0};
                ::poll(&wake, 1, wait_ms);
                continue;
            }
            chunk = std::min(chunk, room);
        }
        const qint64 n = raw_write(fd_, data + done, chunk);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd fds[2] = {{fd_, POLLOUT, 0}, {wake_fd_, POLLIN, 0}};
            ::poll(fds, 2, kAbortCheckMs);
            continue;
        }
        // The device failed (unplugged, connection reset): the event thread
        // sees the hang-up and reports the line lost.
        break;
    }
    return done;
}

QByteArray FdSerialLine::read_pending()
{
    std::lock_guard lock(pending_mutex_);
    QByteArray bytes;
    bytes.swap(pending_);
    return bytes;
}

bool FdSerialLine::purge(bool input, bool output)
{
    if (input) {
        std::lock_guard lock(pending_mutex_);
        pending_.clear();
    }
    return with_fd(
        [&](int fd) {
            bool ok = true;
            if (input)
                ok = flush_input(fd) && ok;
            if (output)
                ok = flush_output(fd) && ok;
            return ok;
        },
        false);
}

int FdSerialLine::output_queue() const
{
    return with_fd([&](int fd) { return queued_bytes(fd); }, -1);
}

QString FdSerialLine::limits_reported() const
{
    std::lock_guard lock(events_mutex_);
    return limits_;
}

void FdSerialLine::wake_writers()
{
    {
        std::lock_guard lock(stop_mutex_);
    }
    stop_cv_.notify_all();
}

void FdSerialLine::fire_cts(bool cts)
{
    status_events_.push_back({StatusEvent::Cts, cts, {}});
}

void FdSerialLine::fire_break()
{
    status_events_.push_back({StatusEvent::Break, false, {}});
}

void FdSerialLine::fire_line_error(const QString &what)
{
    status_events_.push_back({StatusEvent::LineError, false, what});
}

void FdSerialLine::event_loop()
{
    QByteArray buffer(kReadChunk, Qt::Uninitialized);
    for (;;) {
        QByteArray data;
        QString lost_reason;
        quint64 generation = 0;
        {
            std::shared_lock lock(fd_mutex_);
            reader_cv_.wait(lock, [&] { return stop_ || (fd_ >= 0 && !closing_); });
            if (stop_)
                break;
            generation = generation_;
            pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
            const int ready = ::poll(fds, 2, poll_interval_ms());
            if (ready < 0 || fds[1].revents)
                continue; // interrupted, or closing: give the descriptor up
            if (fds[0].revents & POLLIN) {
                while (data.size() < kReadChunk) {
                    const ssize_t n = ::read(fd_, buffer.data(), size_t(kReadChunk - data.size()));
                    if (n > 0) {
                        data.append(buffer.constData(), n);
                    } else if (n == 0) {
                        lost_reason = QStringLiteral("the line hung up");
                        break;
                    } else {
                        if (errno != EAGAIN && errno != EINTR)
                            lost_reason = QString::fromLocal8Bit(std::strerror(errno));
                        break;
                    }
                }
            } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                lost_reason = QStringLiteral("the line hung up");
            }
            if (!data.isEmpty())
                bytes_arrived(data);
            if (lost_reason.isEmpty())
                check_line_status(fd_);
        }
        deliver(data);
        if (!lost_reason.isEmpty())
            lose(generation, lost_reason);
    }
    loop_ended_ = true;
}

void FdSerialLine::deliver(const QByteArray &data)
{
    if (data.isEmpty() && status_events_.empty())
        return;
    const SerialEvents events = events_copy();
    if (!data.isEmpty()) {
        if (events.received) {
            events.received(data);
        } else {
            std::lock_guard lock(pending_mutex_);
            pending_.append(data);
        }
    }
    std::vector<StatusEvent> status;
    status.swap(status_events_);
    for (const StatusEvent &event : status) {
        switch (event.kind) {
        case StatusEvent::Cts:
            if (events.cts_changed)
                events.cts_changed(event.cts);
            break;
        case StatusEvent::Break:
            if (events.break_detected)
                events.break_detected();
            break;
        case StatusEvent::LineError:
            if (events.line_error)
                events.line_error(event.text);
            break;
        }
    }
}

void FdSerialLine::lose(quint64 generation, const QString &reason)
{
    if (!close_generation(generation))
        return;
    const SerialEvents events = events_copy();
    if (events.lost)
        events.lost(reason);
}

} // namespace dnc
