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
// How long bytes wait in the output buffer for more to come.
constexpr std::chrono::milliseconds kTailDelay(1);

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
    writer_ = std::thread([this] { writer_loop(); });
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
    {
        std::lock_guard lock(out_mutex_);
        writer_stop_ = true;
    }
    writer_cv_.notify_all();
    writer_.join();
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
    }
    baud_ = std::max(50, config.baud);
    queue_visible_ = driver_queue_visible();
    {
        std::lock_guard lock(out_mutex_);
        out_.clear();
        in_flight_ = 0;
        ++out_epoch_;
        out_capacity_ = std::max(1, config.out_buffer);
        out_open_ = true;
    }
    reader_cv_.notify_all();
    return true;
}

void FdSerialLine::close()
{
    if (is_open())
        hand_over_output();
    close_generation(0);
}

void FdSerialLine::hand_over_output()
{
    using namespace std::chrono_literals;
    std::unique_lock lock(out_mutex_);
    out_open_ = false;
    qsizetype left = qsizetype(out_.size()) + in_flight_;
    auto last_progress = std::chrono::steady_clock::now();
    while (left > 0) {
        out_cv_.wait_for(lock, 10ms);
        const qsizetype now_left = qsizetype(out_.size()) + in_flight_;
        if (now_left < left) {
            left = now_left;
            last_progress = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - last_progress > 250ms) {
            break; // the line does not take them: the machine stopped it
        }
    }
}

void FdSerialLine::drop_output()
{
    {
        std::lock_guard lock(out_mutex_);
        out_.clear();
        in_flight_ = 0;
        ++out_epoch_;
    }
    out_cv_.notify_all();
    wake_writers();
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
    if (closed) {
        {
            std::lock_guard lock(out_mutex_);
            out_open_ = false;
        }
        drop_output();
    }
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
    while (done < size) {
        // What the driver still holds counts against the output buffer too
        // (read before taking the buffer's lock: the writers take the two
        // in the other order).
        const int driver =
            queue_visible_ ? std::max(0, with_fd([&](int fd) { return queued_bytes(fd); }, 0)) : 0;
        bool hand_over = false;
        {
            std::unique_lock lock(out_mutex_);
            if (!out_open_ || (abort && abort->load()))
                break;
            const qsizetype room = out_capacity_ - qsizetype(out_.size()) - in_flight_ - driver;
            if (room > 0) {
                const qsizetype n = std::min<qint64>(room, size - done);
                out_.insert(out_.end(), data + done, data + done + n);
                done += n;
                last_append_ = std::chrono::steady_clock::now();
                if (writer_idle_) {
                    writer_idle_ = false;
                    writer_cv_.notify_one();
                }
                continue;
            }
            if (out_.empty() && in_flight_ > 0) {
                // Another thread is handing over a piece (perhaps held by
                // the machine's DC3): wait for it, looking at the abort
                // flag, which nobody can wake us for, every 20 ms.
                out_cv_.wait_for(lock, std::chrono::milliseconds(kAbortCheckMs));
                continue;
            }
            hand_over = !out_.empty();
        }
        if (hand_over) {
            // The buffer is full: hand it to the driver here.
            if (!flush_buffer(abort))
                break;
            continue;
        }
        // Everything written is with the driver: wait for the wire.
        const int char_us = 11 * 1000000 / std::max(baud_.load(), 50);
        const int wait_ms =
            std::clamp(int(qint64(driver - out_capacity_ + 1) * char_us / 1000), 1, kAbortCheckMs);
        pollfd wake{wake_fd_, POLLIN, 0};
        ::poll(&wake, 1, wait_ms);
    }
    return done;
}

void FdSerialLine::flush()
{
    {
        std::lock_guard lock(out_mutex_);
        if (out_.empty())
            return;
    }
    flush_buffer(nullptr);
}

bool FdSerialLine::flush_buffer(const std::atomic<bool> *abort)
{
    std::vector<char> piece;
    quint64 epoch = 0;
    {
        std::unique_lock lock(out_mutex_);
        // Another thread may be handing over the previous piece (and wait
        // for the machine's XON): look at the abort flag meanwhile.
        while (handing_over_) {
            if (closing_ || stop_ || (abort && abort->load()))
                return false;
            out_cv_.wait_for(lock, std::chrono::milliseconds(kAbortCheckMs));
        }
        handing_over_ = true;
        piece.swap(out_);
        out_.swap(spare_);
        in_flight_ = qsizetype(piece.size());
        epoch = out_epoch_;
    }
    const qsizetype total = qsizetype(piece.size());
    const qsizetype written = write_to_driver(piece.data(), total, epoch, abort);
    {
        std::lock_guard lock(out_mutex_);
        handing_over_ = false;
        if (out_epoch_ == epoch)
            in_flight_ = 0;
        piece.clear();
        if (spare_.capacity() < piece.capacity())
            spare_.swap(piece);
    }
    out_cv_.notify_all();
    return written == total;
}

void FdSerialLine::writer_loop()
{
    using clock = std::chrono::steady_clock;
    std::unique_lock lock(out_mutex_);
    for (;;) {
        // Idle while there is nothing to hand over; a writer that fills the
        // buffer says so. (Marked again after every wake-up: the buffer may
        // have been filled and handed over before this thread got the lock.)
        while (!writer_stop_ && out_.empty()) {
            writer_idle_ = true;
            writer_cv_.wait(lock);
        }
        writer_idle_ = false;
        // A sender writing line after line fills the buffer and hands it
        // over itself; bytes left alone for a millisecond go out from here.
        while (!writer_stop_ && !out_.empty() && clock::now() - last_append_ < kTailDelay)
            writer_cv_.wait_until(lock, last_append_ + kTailDelay);
        if (writer_stop_)
            return;
        if (out_.empty())
            continue;
        lock.unlock();
        flush_buffer(nullptr);
        lock.lock();
    }
}

qsizetype FdSerialLine::write_to_driver(const char *data, qsizetype size, quint64 epoch,
                                        const std::atomic<bool> *abort)
{
    qsizetype done = 0;
    std::shared_lock lock(fd_mutex_);
    while (done < size) {
        if (fd_ < 0 || closing_ || stop_ || out_epoch_ != epoch || (abort && abort->load()))
            break;
        if (output_stopped()) {
            std::unique_lock stop_lock(stop_mutex_);
            stop_cv_.wait_for(stop_lock, std::chrono::milliseconds(kAbortCheckMs));
            continue;
        }
        const qsizetype piece = size - done;
        const qint64 n = raw_write(fd_, data + done, piece);
        if (n > 0) {
            done += n;
            {
                std::lock_guard out_lock(out_mutex_);
                if (out_epoch_ == epoch)
                    in_flight_ -= n;
            }
            out_cv_.notify_all();
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
    if (output)
        drop_output();
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
    qsizetype buffered = 0;
    {
        std::lock_guard lock(out_mutex_);
        buffered = qsizetype(out_.size()) + in_flight_;
    }
    const int driver = with_fd([&](int fd) { return queued_bytes(fd); }, 0);
    return int(buffered) + std::max(0, driver);
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
            pending_.append(data.constData(), data.size()); // a copy, not a shared buffer
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
