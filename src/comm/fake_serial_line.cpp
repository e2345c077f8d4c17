#include "comm/fake_serial_line.h"

#include "comm/report_once.h"

#include <algorithm>
#include <chrono>

namespace dnc
{

namespace
{
constexpr char DC1 = 17;
constexpr char DC3 = 19;
} // namespace

FakeSerialLine::FakeSerialLine()
{
    event_thread_ = std::thread([this] { event_loop(); });
    drain_thread_ = std::thread([this] { drain_loop(); });
}

FakeSerialLine::~FakeSerialLine()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        open_ = false;
    }
    changed_.notify_all();
    {
        std::lock_guard lock(event_mutex_);
        event_stop_ = true;
    }
    event_cv_.notify_all();
    drain_thread_.join();
    event_thread_.join();
}

void FakeSerialLine::set_events(SerialEvents events)
{
    std::lock_guard lock(mutex_);
    events_ = std::move(events);
}

bool FakeSerialLine::open(const SerialConfig &config, QString *error)
{
    std::lock_guard lock(mutex_);
    if (!open_error_.isEmpty()) {
        if (error)
            *error = open_error_;
        return false;
    }
    config_ = config;
    flow_ = config.flow;
    open_ = true;
    stopped_ = false;
    out_queue_.clear();
    pending_in_.clear();
    ++open_count_;
    limits_ = (!refused_.isEmpty() && first_report("fake " + config.device + ": " + refused_))
                  ? refused_
                  : QString();
    changed_.notify_all();
    return true;
}

void FakeSerialLine::close()
{
    std::lock_guard lock(mutex_);
    open_ = false;
    out_queue_.clear();
    changed_.notify_all();
}

bool FakeSerialLine::is_open() const
{
    std::lock_guard lock(mutex_);
    return open_;
}

qint64 FakeSerialLine::write(const char *data, qint64 size, const std::atomic<bool> *abort)
{
    using namespace std::chrono_literals;
    qint64 done = 0;
    std::unique_lock lock(mutex_);
    const qsizetype capacity = std::max(1, config_.out_buffer);
    while (done < size && open_) {
        if (abort && abort->load())
            break;
        const qsizetype room = capacity - out_queue_.size();
        if (room <= 0) {
            // The abort flag has no way to wake us: look at it every 2 ms.
            changed_.wait_for(lock, 2ms);
            continue;
        }
        const qsizetype n = std::min<qint64>(room, size - done);
        out_queue_.append(data + done, n);
        done += n;
        drain_now_locked();
        changed_.notify_all();
    }
    return done;
}

QByteArray FakeSerialLine::read_pending()
{
    std::lock_guard lock(mutex_);
    QByteArray bytes;
    bytes.swap(pending_in_);
    return bytes;
}

bool FakeSerialLine::has_modem_lines() const
{
    std::lock_guard lock(mutex_);
    return modem_lines_;
}

bool FakeSerialLine::set_dtr(bool on)
{
    std::lock_guard lock(mutex_);
    if (!open_ || !modem_lines_)
        return false;
    dtr_ = on;
    return true;
}

bool FakeSerialLine::set_rts(bool on)
{
    std::lock_guard lock(mutex_);
    if (!open_ || !modem_lines_)
        return false;
    rts_ = on;
    return true;
}

bool FakeSerialLine::cts() const
{
    std::lock_guard lock(mutex_);
    return modem_lines_ ? cts_ : true;
}

void FakeSerialLine::set_driver_flow(DriverFlow flow)
{
    std::lock_guard lock(mutex_);
    flow_ = flow;
    drain_now_locked();
    changed_.notify_all();
}

bool FakeSerialLine::purge(bool input, bool output)
{
    std::lock_guard lock(mutex_);
    if (!open_)
        return false;
    if (input) {
        pending_in_.clear();
        ++input_purges_;
    }
    if (output) {
        out_queue_.clear();
        ++output_purges_;
    }
    changed_.notify_all();
    return true;
}

void FakeSerialLine::hold_transmitter()
{
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
}

void FakeSerialLine::release_transmitter()
{
    std::lock_guard lock(mutex_);
    stopped_ = false;
    drain_now_locked();
    changed_.notify_all();
}

int FakeSerialLine::output_queue() const
{
    std::lock_guard lock(mutex_);
    return int(out_queue_.size());
}

QString FakeSerialLine::limits_reported() const
{
    std::lock_guard lock(mutex_);
    return limits_;
}

void FakeSerialLine::set_cts(bool on)
{
    std::lock_guard lock(mutex_);
    if (cts_ == on)
        return;
    cts_ = on;
    if (open_ && modem_lines_ && events_.cts_changed) {
        auto event = events_.cts_changed;
        post_event([event, on] { event(on); });
    }
    drain_now_locked();
    changed_.notify_all();
}

void FakeSerialLine::inject(const QByteArray &bytes)
{
    std::lock_guard lock(mutex_);
    if (!open_)
        return;
    QByteArray data;
    if (has_xon_xoff(flow_)) {
        // The driver acts on DC1/DC3 and keeps them out of the data.
        data.reserve(bytes.size());
        for (char c : bytes) {
            if (c == DC3)
                stopped_ = true;
            else if (c == DC1)
                stopped_ = false;
            else
                data.append(c);
        }
        drain_now_locked();
        changed_.notify_all();
    } else {
        data = bytes;
    }
    if (data.isEmpty())
        return;
    if (events_.received) {
        auto event = events_.received;
        post_event([event, data] { event(data); });
    } else {
        pending_in_.append(data);
    }
}

void FakeSerialLine::send_break()
{
    std::lock_guard lock(mutex_);
    if (open_ && events_.break_detected)
        post_event(events_.break_detected);
}

void FakeSerialLine::vanish(const QString &reason)
{
    std::lock_guard lock(mutex_);
    if (!open_)
        return;
    open_ = false;
    out_queue_.clear();
    changed_.notify_all();
    if (events_.lost) {
        auto event = events_.lost;
        post_event([event, reason] { event(reason); });
    }
}

void FakeSerialLine::set_drain_baud(int baud)
{
    std::lock_guard lock(mutex_);
    drain_baud_ = std::max(0, baud);
    drain_now_locked();
    changed_.notify_all();
}

void FakeSerialLine::set_open_error(const QString &error)
{
    std::lock_guard lock(mutex_);
    open_error_ = error;
}

void FakeSerialLine::set_modem_lines(bool present)
{
    std::lock_guard lock(mutex_);
    modem_lines_ = present;
}

void FakeSerialLine::set_refused_settings(const QString &text)
{
    std::lock_guard lock(mutex_);
    refused_ = text;
}

QByteArray FakeSerialLine::written() const
{
    std::lock_guard lock(mutex_);
    return wire_;
}

QByteArray FakeSerialLine::take_written()
{
    std::lock_guard lock(mutex_);
    QByteArray bytes;
    bytes.swap(wire_);
    return bytes;
}

bool FakeSerialLine::wait_for_written(qsizetype count, int timeout_ms) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return wire_.size() >= count; });
}

void FakeSerialLine::wait_events_delivered()
{
    std::unique_lock lock(event_mutex_);
    event_cv_.wait(lock, [&] { return event_queue_.empty() && !event_busy_; });
}

std::thread::id FakeSerialLine::event_thread_id() const
{
    return event_thread_.get_id();
}

bool FakeSerialLine::dtr() const
{
    std::lock_guard lock(mutex_);
    return dtr_;
}

bool FakeSerialLine::rts() const
{
    std::lock_guard lock(mutex_);
    return rts_;
}

DriverFlow FakeSerialLine::driver_flow() const
{
    std::lock_guard lock(mutex_);
    return flow_;
}

bool FakeSerialLine::transmitter_stopped() const
{
    std::lock_guard lock(mutex_);
    return stopped_ || (has_rts_cts(flow_) && modem_lines_ && !cts_);
}

SerialConfig FakeSerialLine::config() const
{
    std::lock_guard lock(mutex_);
    return config_;
}

int FakeSerialLine::open_count() const
{
    std::lock_guard lock(mutex_);
    return open_count_;
}

int FakeSerialLine::input_purges() const
{
    std::lock_guard lock(mutex_);
    return input_purges_;
}

int FakeSerialLine::output_purges() const
{
    std::lock_guard lock(mutex_);
    return output_purges_;
}

void FakeSerialLine::post_event(std::function<void()> event)
{
    {
        std::lock_guard lock(event_mutex_);
        event_queue_.push_back(std::move(event));
    }
    event_cv_.notify_all();
}

void FakeSerialLine::event_loop()
{
    std::unique_lock lock(event_mutex_);
    for (;;) {
        event_cv_.wait(lock, [&] { return event_stop_ || !event_queue_.empty(); });
        if (event_stop_)
            return; // whoever the events were for may be gone
        auto event = std::move(event_queue_.front());
        event_queue_.pop_front();
        event_busy_ = true;
        lock.unlock();
        event();
        lock.lock();
        event_busy_ = false;
        event_cv_.notify_all();
    }
}

bool FakeSerialLine::can_drain_locked() const
{
    return open_ && !stopped_ && !(has_rts_cts(flow_) && modem_lines_ && !cts_);
}

void FakeSerialLine::drain_now_locked()
{
    if (drain_baud_ == 0 && can_drain_locked())
        move_to_wire_locked(out_queue_.size());
}

void FakeSerialLine::move_to_wire_locked(qsizetype count)
{
    if (count <= 0)
        return;
    wire_.append(out_queue_.left(count));
    out_queue_.remove(0, count);
}

void FakeSerialLine::drain_loop()
{
    using clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    double credit = 0; // characters the UART could have sent since `last`
    auto last = clock::now();
    while (!stopping_) {
        if (drain_baud_ == 0 || out_queue_.isEmpty() || !can_drain_locked()) {
            changed_.wait(lock);
            credit = 0;
            last = clock::now();
            continue;
        }
        // Sleep a tick, then send what the baud rate allowed in that time.
        changed_.wait_for(lock, std::chrono::milliseconds(1));
        const auto now = clock::now();
        credit += std::chrono::duration<double>(now - last).count() * drain_baud_ / 10.0;
        last = now;
        if (!can_drain_locked())
            continue;
        const qsizetype n = std::min<qsizetype>(qsizetype(credit), out_queue_.size());
        if (n > 0) {
            move_to_wire_locked(n);
            credit -= double(n);
            changed_.notify_all();
        }
    }
}

} // namespace dnc
