// The serial line of a local device: a UART (/dev/ttyS*), a USB adapter
// (/dev/ttyUSB*, /dev/ttyACM*, /dev/serial/by-id/...) or a pseudo-terminal,
// driven through termios.
//
// The device is locked against other programs (flock) and other opens
// (TIOCEXCL) while open. Received bytes are delivered on the line's event
// thread; CTS changes, breaks and line errors are looked for there every
// 10 ms on devices that have modem lines or error counters. USB adapters
// are put into low-latency mode where the driver allows it.
#pragma once

#include "comm/fd_serial_line.h"

#include <linux/serial.h>

namespace dnc
{

class DeviceSerialLine : public FdSerialLine
{
public:
    DeviceSerialLine() = default;
    ~DeviceSerialLine() override;

    bool has_modem_lines() const override;
    bool set_dtr(bool on) override;
    bool set_rts(bool on) override;
    bool cts() const override;
    void set_driver_flow(DriverFlow flow) override;
    void hold_transmitter() override;
    void release_transmitter() override;

protected:
    int open_fd(const SerialConfig &config, QString *error, QStringList *refused) override;
    int queued_bytes(int fd) const override;
    bool driver_queue_visible() const override { return real_line_; }
    qint64 raw_write(int fd, const char *data, qint64 size) override;
    bool flush_output(int fd) override;
    bool flush_input(int fd) override;
    void before_close(int fd) override;
    void check_line_status(int fd) override;
    int poll_interval_ms() const override;

private:
    bool set_modem_bit(int bit, bool on);

    std::atomic<bool> modem_lines_{false};
    // A UART or USB adapter, not a pseudo-terminal (whose output queue
    // always reads 0). Set by open_fd.
    bool real_line_ = true;
    // Event thread (set by open_fd before the line is handed to it).
    bool has_counters_ = false;
    bool last_cts_ = false;
    serial_icounter_struct counters_{};
};

} // namespace dnc
