// A machine tool's serial line, whatever carries it: a local UART or USB
// adapter (/dev/tty*), an Ethernet-to-serial device server
// (socket://host:port), or an in-memory line for tests.
//
// Threads: open, close and configuration run on the UI thread. write() is
// called from the machine's send worker and blocks until the line accepted
// the bytes. Events (received bytes, CTS change, break, line error) are
// delivered on the line's own event thread, never on the UI thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

namespace dnc {

// Flow control done by the driver (or by the backend in software).
enum class DriverFlow {
    None,
    XonXoff, // the driver honours DC3/DC1 from the machine and sends them when its input fills
    RtsCts,  // output paused while CTS is low; RTS follows the input buffer
};

struct SerialConfig {
    QString device;    // "/dev/ttyS0", "/dev/serial/by-id/...", "socket://host:port"
    int baud = 9600;
    int data_bits = 8; // 7 or 8
    char parity = 'N'; // 'N', 'E', 'O'
    int stop_bits = 1; // 1 or 2
    DriverFlow flow = DriverFlow::None;
    int in_buffer = 4096;
    int out_buffer = 2048;
};

struct SerialEvents {
    std::function<void(const QByteArray &)> received; // bytes as they arrived
    std::function<void(bool cts)> cts_changed;
    std::function<void()> break_detected;
    std::function<void(const QString &)> line_error; // framing, parity, overrun
};

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // Events must be set before open(); they are called on the event thread.
    virtual void set_events(SerialEvents events) = 0;

    // Opens and configures the line. A setting the device cannot have (a
    // pseudo-terminal has no parity and no modem lines) does not fail the
    // open; it is returned through `warnings` (see limits_reported()).
    virtual bool open(const SerialConfig &config, QString *error) = 0;
    virtual void close() = 0;
    virtual bool is_open() const = 0;

    // Blocks until every byte was accepted by the line, the line closed, or
    // *abort became true. Returns the number of bytes accepted.
    virtual qint64 write(const char *data, qint64 size, const std::atomic<bool> *abort = nullptr) = 0;

    // Bytes received but not yet delivered through the received event.
    virtual QByteArray read_pending() = 0;

    // Modem lines. A backend without them reports false from the setters
    // and from has_modem_lines().
    virtual bool has_modem_lines() const = 0;
    virtual bool set_dtr(bool on) = 0;
    virtual bool set_rts(bool on) = 0;
    virtual bool cts() const = 0;

    // Changes the driver's flow control while the line is open.
    virtual void set_driver_flow(DriverFlow flow) = 0;

    // Discards pending input and/or output.
    virtual void purge(bool input, bool output) = 0;

    // Stops and restarts the transmitter as a received DC3/DC1 would.
    virtual void hold_transmitter() = 0;
    virtual void release_transmitter() = 0;

    // Bytes written but not yet on the wire (driver queue), -1 if unknown.
    virtual int output_queue() const = 0;

    // The line's settings that the device refused, reported once per
    // device for the life of the program (empty when none).
    virtual QString limits_reported() const = 0;
};

// Creates the backend that fits the device name: "socket://" gives the
// network backend, anything else the device backend.
std::unique_ptr<SerialLine> make_serial_line(const QString &device);

} // namespace dnc
