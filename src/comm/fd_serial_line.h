// What the device and network backends share: a line on one file
// descriptor, read by the line's own event thread, with an output buffer
// that the line's writer thread hands to the driver.
//
// Output: write() puts the bytes into the line's output buffer and returns.
// The buffer, the piece being handed over and the driver's queue together
// hold at most SerialConfig::out_buffer bytes, as a UART driver's buffer
// would: that bounds what still goes out after a stop or the machine's DC3.
// When the buffer is full, the caller hands it to the driver itself
// (waiting for the driver as needed, and giving up at its abort flag);
// bytes that stay in the buffer are handed over by the line's writer thread
// a millisecond after they were written. A busy sender thus makes one
// system call per buffer, not one per line, with no thread hand-over on its
// way, and a lone line waits at most a millisecond. (A pseudo-terminal takes
// 35-byte writes at about 2 MB/s, 2 KB writes at over 40 MB/s.)

// Why no event loop and no cross-thread calls: the receive handler may wait
// for the UI thread (to append a line to the editor) while the UI thread
// closes or re-opens the port. Here close() only takes the descriptor away
// from the reader and the writers (they give it up at once when woken); it never waits for an event
// handler to finish, so that situation cannot freeze the program. An event that was already read
// when the line closed may still be delivered just after close() returned.
#pragma once

#include "comm/serial_line.h"

#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

namespace dnc
{

class FdSerialLine : public SerialLine
{
public:
    ~FdSerialLine() override;

    void set_events(SerialEvents events) override;
    bool open(const SerialConfig &config, QString *error) override;
    // Bytes still in the output buffer go to the driver first, as long as
    // the line takes them (a line stopped by the machine's DC3 or a held
    // transmitter gets 250 ms); then the line closes.
    void close() override;
    bool is_open() const override;
    qint64 write(const char *data, qint64 size, const std::atomic<bool> *abort = nullptr) override;
    void flush() override;
    QByteArray read_pending() override;
    bool purge(bool input, bool output) override;
    // The output buffer plus the driver's queue.
    int output_queue() const override;
    QString limits_reported() const override;

protected:
    FdSerialLine();
    // Subclasses call this first in their destructor: it closes the line and
    // ends the line's threads while the subclass still exists.
    void shut_down();

    // Opens and configures the descriptor (non-blocking). Settings the
    // device refused go to *refused; on failure returns -1 and sets *error.
    virtual int open_fd(const SerialConfig &config, QString *error, QStringList *refused) = 0;
    // Bytes waiting in the driver's (or socket's) output queue, -1 unknown.
    virtual int queued_bytes(int fd) const = 0;
    // After open_fd(): whether queued_bytes() tells the truth (a
    // pseudo-terminal always says 0).
    virtual bool driver_queue_visible() const { return true; }
    virtual qint64 raw_write(int fd, const char *data, qint64 size) = 0;
    virtual bool flush_output(int fd) = 0;
    // Just before the descriptor is closed (under the exclusive lock).
    virtual void before_close(int) {}
    virtual bool flush_input(int fd) = 0;
    // Event thread, after bytes arrived (the software flow control of the
    // network backend looks at them here).
    virtual void bytes_arrived(const QByteArray &) {}
    // Event thread: modem-line and error-counter checks; called after each
    // read and every poll_interval_ms().
    virtual void check_line_status(int) {}
    // How often the event thread looks at the line without data (-1: only
    // when data arrive).
    virtual int poll_interval_ms() const { return -1; }
    // Output waits while this is true (software flow control).
    virtual bool output_stopped() const { return false; }

    // For the subclasses' own operations on the descriptor: runs `f(fd)`
    // while the line is open and the descriptor cannot be closed under it;
    // returns `closed_value` when the line is closed.
    template <class F, class R> R with_fd(F &&f, R closed_value) const
    {
        std::shared_lock lock(fd_mutex_);
        return fd_ < 0 ? closed_value : f(fd_);
    }

    // Wakes output waiting for output_stopped() to end.
    void wake_writers();
    // Event thread: events for the subclasses' checks.
    void fire_cts(bool cts);
    void fire_break();
    void fire_line_error(const QString &what);

private:
    struct StatusEvent {
        enum Kind { Cts, Break, LineError } kind;
        bool cts = false;
        QString text;
    };

    void event_loop();
    void writer_loop();
    bool flush_buffer(const std::atomic<bool> *abort);
    qsizetype write_to_driver(const char *data, qsizetype size, quint64 epoch,
                              const std::atomic<bool> *abort);
    void hand_over_output();
    void drop_output();
    void deliver(const QByteArray &data);
    void lose(quint64 generation, const QString &reason);
    bool close_generation(quint64 generation);
    SerialEvents events_copy() const;

    // The descriptor and what belongs to it: shared by the reader and the
    // writer thread, exclusive to open and close.
    mutable std::shared_mutex fd_mutex_;
    std::condition_variable_any reader_cv_;
    int fd_ = -1;
    quint64 generation_ = 0;
    std::atomic<int> baud_{9600};
    std::atomic<bool> queue_visible_{true};
    std::atomic<bool> closing_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> loop_ended_{false};
    int wake_fd_ = -1; // eventfd, readable while closing or stopping

    // The output buffer: bytes accepted by write() and not yet handed to the
    // driver. One thread at a time hands a piece over (handing_over_), so
    // that pieces go out in the order they were written.
    mutable std::mutex out_mutex_;
    std::condition_variable out_cv_;
    std::vector<char> out_;
    std::vector<char> spare_;
    qsizetype in_flight_ = 0; // taken out of the buffer, not yet written
    bool handing_over_ = false;
    // The writer thread: it waits on writer_cv_, woken when bytes arrive in
    // an empty buffer while it is idle.
    std::condition_variable writer_cv_;
    bool writer_idle_ = false;
    std::chrono::steady_clock::time_point last_append_;
    qsizetype out_capacity_ = 2048;
    bool out_open_ = false;
    bool writer_stop_ = false;
    std::atomic<quint64> out_epoch_{0}; // a purge or close drops what is in flight

    mutable std::mutex events_mutex_;
    SerialEvents events_;
    QString limits_;

    mutable std::mutex pending_mutex_;
    QByteArray pending_;

    std::mutex stop_mutex_;
    std::condition_variable stop_cv_; // software flow control wake-ups

    std::vector<StatusEvent> status_events_; // event thread only

    std::thread thread_;
    std::thread writer_;
};

} // namespace dnc
