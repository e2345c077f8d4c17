// A machine tool's serial line, whatever carries it: a local UART or USB
// adapter (/dev/tty*), an Ethernet-to-serial device server
// (socket://host:port), or an in-memory line for tests.
//
// Threads: open, close and configuration run on the UI thread. write() is
// called from the machine's send worker and blocks until the line accepted
// the bytes. Events (received bytes, CTS change, break, line error, line
// lost) are delivered on the line's own event thread, never on the UI thread
// and never on the thread that calls write(). Every other member may be
// called from any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

namespace dnc
{

// Flow control done by the driver (or by the backend in software).
//   XonXoff: output stops at a received DC3 and goes on at DC1; the driver
//            sends DC3/DC1 itself when its input fills and empties. The
//            DC1/DC3 bytes that the driver acts on are not delivered as data.
//   RtsCts:  output stops while CTS is low; RTS follows the input buffer.
enum class DriverFlow {
    None,
    XonXoff,
    RtsCts,
    RtsCtsXonXoff,
};

inline bool has_xon_xoff(DriverFlow flow)
{
    return flow == DriverFlow::XonXoff || flow == DriverFlow::RtsCtsXonXoff;
}
inline bool has_rts_cts(DriverFlow flow)
{
    return flow == DriverFlow::RtsCts || flow == DriverFlow::RtsCtsXonXoff;
}
inline DriverFlow driver_flow(bool rts_cts, bool xon_xoff)
{
    if (rts_cts)
        return xon_xoff ? DriverFlow::RtsCtsXonXoff : DriverFlow::RtsCts;
    return xon_xoff ? DriverFlow::XonXoff : DriverFlow::None;
}

struct SerialConfig {
    QString device; // "/dev/ttyS0", "/dev/serial/by-id/...", "socket://host:port"
    int baud = 9600;
    int data_bits = 8; // 7 or 8
    char parity = 'N'; // 'N', 'E', 'O'
    int stop_bits = 1; // 1 or 2
    DriverFlow flow = DriverFlow::None;
    // Linux drivers keep input buffers of their own size; this one is
    // carried for completeness and not applied.
    int in_buffer = 4096;
    // The line's output buffer: bytes written but not yet on the wire, the
    // driver's queue included where the backend can see it. It bounds what
    // still goes out after a stop or the machine's DC3.
    int out_buffer = 2048;
};

struct SerialEvents {
    // Bytes as they arrived. Without this event the bytes wait for
    // read_pending().
    std::function<void(const QByteArray &)> received;
    std::function<void(bool cts)> cts_changed;
    std::function<void()> break_detected;
    std::function<void(const QString &)> line_error; // framing, parity, overrun
    // The device went away (adapter unplugged, connection dropped, the other
    // end hung up). The line is closed when this fires; a later open() may
    // succeed once the device is back.
    std::function<void(const QString &reason)> lost;
};

class SerialLine
{
public:
    virtual ~SerialLine() = default;

    // Events must be set before open(); they are called on the event thread.
    virtual void set_events(SerialEvents events) = 0;

    // Opens and configures the line. A setting the device cannot have (a
    // pseudo-terminal has no parity and no modem lines) does not fail the
    // open; see limits_reported(). On failure *error (when given) says why.
    virtual bool open(const SerialConfig &config, QString *error) = 0;
    // Closes the line; a write() blocked on it returns at once.
    virtual void close() = 0;
    virtual bool is_open() const = 0;

    // Blocks until every byte was accepted by the line (into its output
    // buffer), the line closed, or *abort became true. Returns the number of
    // bytes accepted; accepted bytes go out unless purge() drops them.
    virtual qint64 write(const char *data, qint64 size,
                         const std::atomic<bool> *abort = nullptr) = 0;
    // Hands what write() has buffered to the driver now rather than a moment
    // later: for a writer that paces itself by the baud rate, so that the
    // machine's DC3 finds little on its way.
    virtual void flush() {}

    // Bytes received but not yet delivered (only when no received event is
    // set).
    virtual QByteArray read_pending() = 0;

    // Modem lines. A backend without them reports false from the setters
    // and from has_modem_lines(), and reads CTS as on so that a machine set
    // up for RTS/CTS is not held forever by a line that cannot carry it.
    virtual bool has_modem_lines() const = 0;
    virtual bool set_dtr(bool on) = 0;
    virtual bool set_rts(bool on) = 0;
    virtual bool cts() const = 0;

    // Changes the driver's flow control while the line is open.
    virtual void set_driver_flow(DriverFlow flow) = 0;

    // Discards pending input and/or output.
    virtual bool purge(bool input, bool output) = 0;

    // Stops and restarts the transmitter as a received DC3/DC1 would: with
    // XON/XOFF flow control on, the machine's DC1 also releases a held
    // transmitter.
    virtual void hold_transmitter() = 0;
    virtual void release_transmitter() = 0;

    // Bytes written but not yet on the wire (driver queue), -1 if unknown.
    virtual int output_queue() const = 0;

    // The settings that the device refused at the last open (for example
    // "7 data bits, even parity"), or what it could not do (low-latency
    // mode). Each refusal is reported once per device for the life of the
    // program: a later open of the same device with the same refusals
    // returns an empty text.
    virtual QString limits_reported() const = 0;
};

// Creates the backend that fits the device name: "socket://" gives the
// network backend, anything else the device backend.
std::unique_ptr<SerialLine> make_serial_line(const QString &device);

} // namespace dnc
