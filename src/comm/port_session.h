// A machine's serial port session: the one serial line of a machine, kept
// for the life of the machine, configured from its MachineSettingsRecord.
// It opens and closes the line, sets the handshake lines of the machine's
// handshake mode, runs the port start that dispatches a pending Send, Stop
// or Receive, writes with the machine's tape code, and reports through a
// PortSessionHost (the engine's machine object).
//
// Threads: open, close, configuration and the port start run on the UI
// thread; so does the destruction, after the machine's send worker ended. The writes, the flow
// state, CTS, purge and the transmitter controls may be called from the send worker and from the
// line's event thread too. The host's received() and cts_changed() run on the line's event thread.
#pragma once

#include "comm/port_discovery.h"
#include "comm/serial_line.h"
#include "config/machine_settings_record.h"

#include <QList>
#include <QMap>
#include <QString>
#include <mutex>
#include <optional>

namespace dnc
{

// How a session reports and asks. The engine's machine object implements
// it; every member may be called from any thread unless said otherwise.
class PortSessionHost
{
public:
    virtual ~PortSessionHost() = default;

    // The machine's status note ("COM3 Ready", "Break signal detected...").
    virtual void note(const QString &text) = 0;
    // Asks or warns (kind and answer as the front-end's show_message).
    virtual int show_message(const QString &title, const QString &body, int kind) = 0;
    // Something the operator should read once, that is not a status: a
    // setting the device refused, a malformed escape in a leader. Called at
    // most once per problem in a program run.
    virtual void report_problem(const QString &text) = 0;
    // The frame's port display: the settings line or "Not Connected".
    virtual void set_port_display(const QString &text) = 0;
    // The flow state (record.xon) changed: redraw the flow indicator.
    virtual void flow_indicator_changed(bool on) = 0;
    // Moves the editor's highlight to a line (1-based).
    virtual void highlight_line(int line) = 0;

    // UI thread: starts the send (start punch).
    virtual void start_send() = 0;
    // UI thread: a send for the back-plot program is armed or running; the
    // RTS/CTS port start then leaves the start to it.
    virtual bool back_plot_transfer_active() = 0;
    // UI thread: the frame's Reset and Receive actions.
    virtual void reset_action() = 0;
    virtual void receive_action() = 0;

    // Line's event thread: the receive handler and the CTS handler.
    virtual void received(const QByteArray &bytes) = 0;
    virtual void cts_changed(bool cts) = 0;
};

// The baud rates a port start applies; any other stored rate leaves the
// line's previous rate.
bool is_listed_baud_rate(int baud);

// The device of port number `port`: its "Com<N>" entry in the port map,
// else /dev/ttyS<port-1>; empty for a number below 1.
QString device_for_port(int port, const QMap<int, QString> &port_map);

// The operator's name of a port: "COM" + number.
QString port_name(int port);

class PortSession
{
public:
    PortSession(int machine, MachineSettingsRecord &record, PortSessionHost &host);
    ~PortSession();
    PortSession(const PortSession &) = delete;
    PortSession &operator=(const PortSession &) = delete;

    int machine() const { return machine_; }
    MachineSettingsRecord &record() { return record_; }
    const MachineSettingsRecord &record() const { return record_; }
    PortSessionHost &host() { return host_; }

    // The "Com<N>=" entries of the global settings section.
    void set_port_map(const QMap<int, QString> &port_map);
    // From now on every open uses this line, whatever the port number says
    // (tests and tools hand in a fake or an already made line). With
    // `adapter` the session assumes that chip instead of identifying it.
    void use_line(std::unique_ptr<SerialLine> line,
                  std::optional<AdapterIdentity> adapter = std::nullopt);
    // The current line (null before the first open). Keep the returned
    // pointer while using it: a port start may replace the line.
    std::shared_ptr<SerialLine> line() const;

    // ---- UI thread ----
    // The settings an open would apply: the record's port, the listed baud
    // rates, data bits 7/8, parity O/E/N, stop bits 1/2, the buffer sizes;
    // anything else keeps the line's previous value.
    SerialConfig configure();
    // Configures, opens, sets the handshake lines and reports (notes, port
    // display, ready note). True when the line is open.
    bool open_port();
    void close_port();
    bool is_open() const;
    // The dispatcher run before every transfer: re-opens the line and acts
    // on a pending Send, Stop or Receive (send_button_flag,
    // clear_button_flag, receive_button_flag) by handshake mode.
    bool port_start();
    // The DTR/RTS/flow-control set-up of the machine's handshake mode (0..6)
    // after an open.
    void handshake_line_setup();
    // The frame's set-lines-when-open: driver XON/XOFF on, DTR and RTS up.
    void set_lines_when_open();
    // HW Xon/Xoff wait-for-signal set-up: a Prolific adapter holds the
    // transmitter with driver XON/XOFF on (the machine's DC1 releases it);
    // any other leaves XON/XOFF to the receive handler.
    void hw_xon_xoff_wait_setup();
    // The frame's port display text.
    QString settings_line();
    QString ready_note() const;
    void show_ready_note();
    QString port_name() const;

    // ---- any thread ----
    // Sets record.xon; a change redraws the flow indicator.
    void set_flow_state(bool on);
    // Reads CTS into the flow state and returns it.
    bool read_cts();
    bool purge(bool input, bool output);
    void hold_transmitter();
    void release_transmitter();
    // "XON/XOFF control input and output" (on) or "disabled" (off), keeping
    // the hardware flow control of the handshake mode.
    void set_xon_xoff_control(bool on);
    bool set_dtr(bool on);
    bool set_rts(bool on);
    // Output buffer size minus the bytes waiting in it.
    int free_output_space() const;
    int output_queue() const;

    // Writes with the machine's tape code; they return when the line took
    // the bytes, the line closed, or *abort (default: record.abort2) was
    // set. They return what the line accepted.
    bool write_byte(std::uint8_t byte, const std::atomic<bool> *abort = nullptr);
    qint64 write_text(const QString &text, const std::atomic<bool> *abort = nullptr);
    // Writes a leader or trailer written in control-string syntax, every
    // character converted once. A malformed escape is reported once.
    qint64 write_control_string(const QString &text, const std::atomic<bool> *abort = nullptr);
    // Writes bytes as they are (binary transfers).
    qint64 write_raw(const QByteArray &bytes, const std::atomic<bool> *abort = nullptr);
    // Hands buffered bytes to the driver now (see SerialLine::flush()).
    void flush_output();
    // Bytes received while record.is_doing_binary was set: the receive
    // handler is not called then, and a binary receive reads them here.
    QByteArray read_pending();

    // The adapter identified at the last successful open.
    AdapterIdentity adapter() const;

private:
    std::shared_ptr<SerialLine> line_for(const QString &device);
    void install_events(SerialLine &line);
    void bytes_received(const QByteArray &bytes);
    void line_lost(const QString &reason);
    qint64 write_bytes(const QByteArray &bytes, const std::atomic<bool> *abort);
    void wait_for_cts_start();
    QString format_text();

    const int machine_;
    MachineSettingsRecord &record_;
    PortSessionHost &host_;
    QMap<int, QString> port_map_;

    mutable std::mutex line_mutex_;
    std::shared_ptr<SerialLine> line_;
    bool fixed_line_ = false;
    QString line_device_;

    SerialConfig config_;             // what the line has (UI thread)
    std::atomic<int> port_number_{0}; // remembered at configure
    std::atomic<int> out_buffer_{2048};
    std::atomic<bool> rts_cts_{false};
    std::atomic<bool> xon_xoff_{false};
    std::optional<AdapterIdentity> fixed_adapter_;
    mutable std::mutex adapter_mutex_;
    AdapterIdentity adapter_;
    std::mutex pending_mutex_;
    QByteArray pending_;
};

// Multi-machine mode, switching to machine `index`: another machine on the
// same port number is closed (when its port is closed, or open with
// auto-serve) and shows "Duplicate Port: COM<n>"; then this machine's port
// is started if it is not open. True when it is open.
bool ensure_port(const QList<PortSession *> &sessions, int index);

// Multi-machine mode at start: opens every machine's port in order; a port
// number already used by an earlier machine is left closed with "Duplicate
// Port: COM<n>". Machines with auto-serve start receiving.
void open_all_ports(const QList<PortSession *> &sessions);

void close_all_ports(const QList<PortSession *> &sessions);

} // namespace dnc
