// An in-memory serial line for tests: the test plays the machine tool.
//
// It behaves like a UART with its driver: written bytes go into an output
// queue of the configured size (SerialConfig::out_buffer) and leave it at
// the set baud rate (or at once with baud 0); write() blocks while the queue
// is full. The driver's flow control is modelled: with RTS/CTS the queue
// stops draining while CTS is low, with XON/XOFF an injected DC3 stops it
// and DC1 restarts it (and those two bytes are not delivered as data), and
// hold_transmitter()/release_transmitter() stop and restart it like a
// received DC3/DC1. Events (received bytes, CTS change, break, line lost)
// fire on the fake's own event thread, as on a real line.
#pragma once

#include "comm/serial_line.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace dnc
{

class FakeSerialLine : public SerialLine
{
public:
    FakeSerialLine();
    ~FakeSerialLine() override;
    FakeSerialLine(const FakeSerialLine &) = delete;
    FakeSerialLine &operator=(const FakeSerialLine &) = delete;

    // ---- SerialLine ----
    void set_events(SerialEvents events) override;
    bool open(const SerialConfig &config, QString *error) override;
    void close() override;
    bool is_open() const override;
    qint64 write(const char *data, qint64 size, const std::atomic<bool> *abort = nullptr) override;
    QByteArray read_pending() override;
    bool has_modem_lines() const override;
    bool set_dtr(bool on) override;
    bool set_rts(bool on) override;
    bool cts() const override;
    void set_driver_flow(DriverFlow flow) override;
    bool purge(bool input, bool output) override;
    void hold_transmitter() override;
    void release_transmitter() override;
    int output_queue() const override;
    QString limits_reported() const override;

    // ---- what the test does as the machine ----
    // Sets CTS; a change fires the CTS event on the event thread while open.
    void set_cts(bool on);
    // The machine sends bytes; they reach the received event on the event
    // thread (or wait for read_pending()). Ignored while closed.
    void inject(const QByteArray &bytes);
    // The machine sends a break.
    void send_break();
    // The device goes away: the line closes and the lost event fires.
    void vanish(const QString &reason = QStringLiteral("device removed"));

    // ---- how the fake behaves ----
    // Output drains at this many bits per second (10 bits per character);
    // 0 = at once. May change at any time.
    void set_drain_baud(int baud);
    // The next opens fail with this error (empty: they succeed).
    void set_open_error(const QString &error);
    // Without modem lines the line behaves like a pseudo-terminal.
    void set_modem_lines(bool present);
    // What limits_reported() returns after each open, once per device.
    void set_refused_settings(const QString &text);

    // ---- what the test checks ----
    // Bytes that went out on the wire, in order.
    QByteArray written() const;
    QByteArray take_written();
    // Waits until at least `count` bytes went out; false on time-out.
    bool wait_for_written(qsizetype count, int timeout_ms) const;
    // Waits until every event queued so far was delivered.
    void wait_events_delivered();
    std::thread::id event_thread_id() const;
    bool dtr() const;
    bool rts() const;
    DriverFlow driver_flow() const;
    // The transmitter is stopped (held, or stopped by DC3 with XON/XOFF).
    bool transmitter_stopped() const;
    SerialConfig config() const;
    int open_count() const;
    int input_purges() const;
    int output_purges() const;

private:
    void post_event(std::function<void()> event);
    void event_loop();
    void drain_loop();
    bool can_drain_locked() const;
    void drain_now_locked();
    void move_to_wire_locked(qsizetype count);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_; // queue, flow, open state, written
    SerialEvents events_;
    SerialConfig config_;
    bool open_ = false;
    bool stopping_ = false;
    QString open_error_;
    QString refused_;
    QString limits_;
    bool modem_lines_ = true;
    bool cts_ = true;
    bool dtr_ = false;
    bool rts_ = false;
    DriverFlow flow_ = DriverFlow::None;
    bool stopped_ = false; // transmitter held or stopped by DC3
    int drain_baud_ = 0;
    QByteArray out_queue_;
    QByteArray wire_;
    QByteArray pending_in_;
    int open_count_ = 0;
    int input_purges_ = 0;
    int output_purges_ = 0;

    std::mutex event_mutex_;
    std::condition_variable event_cv_;
    std::deque<std::function<void()>> event_queue_;
    bool event_busy_ = false;
    bool event_stop_ = false;

    std::thread event_thread_;
    std::thread drain_thread_;
};

} // namespace dnc
