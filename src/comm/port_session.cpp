#include "comm/port_session.h"

#include "comm/report_once.h"
#include "comm/tape_code.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>

namespace dnc
{

namespace
{

const QString kNotConnected = QStringLiteral("Not Connected");
const QString kCannotInitialize = QStringLiteral("Cannot Initialize Serial Port");
const QString kWaitingForCommand = QStringLiteral("Waiting for Server Command");
const QString kDuplicatePort = QStringLiteral("Duplicate Port");

DriverFlow flow_of_mode(int handshake)
{
    switch (handshake) {
    case HandshakeHwXonXoff:
        return DriverFlow::XonXoff;
    case HandshakeRtsCts:
    case HandshakeMode5:
        return DriverFlow::RtsCts;
    case HandshakeMode6:
        return DriverFlow::RtsCtsXonXoff;
    default:
        return DriverFlow::None;
    }
}

QString handshake_text(int handshake)
{
    switch (handshake) {
    case HandshakeXonXoff:
        return QStringLiteral("xon");
    case HandshakeNone:
        return QStringLiteral("none");
    case HandshakeHwXonXoff:
        return QStringLiteral("hwx");
    case HandshakeRtsCts:
        return QStringLiteral("cts");
    default:
        return QStringLiteral("mode %1").arg(handshake);
    }
}

QString parity_text(char parity)
{
    switch (parity) {
    case 'O':
        return QStringLiteral("Odd");
    case 'E':
        return QStringLiteral("Even");
    default:
        return QStringLiteral("None");
    }
}

bool is_network(const QString &device)
{
    return device.startsWith(QStringLiteral("socket://"), Qt::CaseInsensitive);
}

bool same_port(PortSession &a, PortSession &b)
{
    return a.record().comm_port == b.record().comm_port;
}

} // namespace

bool is_listed_baud_rate(int baud)
{
    static constexpr int rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                    19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return std::find(std::begin(rates), std::end(rates), baud) != std::end(rates);
}

QString device_for_port(int port, const QMap<int, QString> &port_map)
{
    const QString mapped = port_map.value(port).trimmed();
    if (!mapped.isEmpty())
        return mapped;
    if (port < 1)
        return {};
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

QString port_name(int port)
{
    return QStringLiteral("COM%1").arg(port);
}

PortSession::PortSession(int machine, MachineSettingsRecord &record, PortSessionHost &host)
    : machine_(machine), record_(record), host_(host)
{
}

PortSession::~PortSession()
{
    std::shared_ptr<SerialLine> line;
    {
        std::lock_guard lock(line_mutex_);
        line.swap(line_);
    }
    if (line) {
        line->set_events({});
        line->close();
    }
}

void PortSession::set_port_map(const QMap<int, QString> &port_map)
{
    port_map_ = port_map;
}

void PortSession::use_line(std::unique_ptr<SerialLine> line, std::optional<AdapterIdentity> adapter)
{
    std::shared_ptr<SerialLine> old;
    {
        std::lock_guard lock(line_mutex_);
        old = std::exchange(line_, std::shared_ptr<SerialLine>(std::move(line)));
        fixed_line_ = true;
    }
    if (old)
        old->close();
    fixed_adapter_ = adapter;
    install_events(*this->line());
}

std::shared_ptr<SerialLine> PortSession::line() const
{
    std::lock_guard lock(line_mutex_);
    return line_;
}

std::shared_ptr<SerialLine> PortSession::line_for(const QString &device)
{
    std::shared_ptr<SerialLine> old;
    std::shared_ptr<SerialLine> current;
    {
        std::lock_guard lock(line_mutex_);
        if (line_ && (fixed_line_ || is_network(device) == is_network(line_device_)))
            return line_;
        // A port moved between a local device and a device server.
        old = line_;
        line_ = make_serial_line(device);
        line_device_ = device;
        current = line_;
    }
    if (old)
        old->close();
    install_events(*current);
    return current;
}

void PortSession::install_events(SerialLine &line)
{
    SerialEvents events;
    events.received = [this](const QByteArray &bytes) { bytes_received(bytes); };
    events.cts_changed = [this](bool cts) { host_.cts_changed(cts); };
    events.break_detected = [this] { host_.note(QStringLiteral("Break signal detected...")); };
    // Framing, parity and overrun errors are not the operator's business:
    // the bytes concerned arrive as NUL, which the receive handler drops.
    events.line_error = [](const QString &) {};
    events.lost = [this](const QString &reason) { line_lost(reason); };
    line.set_events(std::move(events));
}

void PortSession::bytes_received(const QByteArray &bytes)
{
    if (record_.is_doing_binary) {
        std::lock_guard lock(pending_mutex_);
        pending_.append(bytes.constData(), bytes.size());
        return;
    }
    host_.received(bytes);
}

void PortSession::line_lost(const QString &reason)
{
    // A send into a line that is gone must not end as "Finished Sending".
    if (record_.punching)
        record_.abort2 = true;
    host_.set_port_display(kNotConnected);
    host_.note(port_name() + QStringLiteral(" ") + kNotConnected);
    QString device;
    {
        std::lock_guard lock(line_mutex_);
        device = line_device_;
    }
    const QString problem = QStringLiteral("%1 (%2) was lost: %3").arg(port_name(), device, reason);
    if (first_report(problem))
        host_.report_problem(problem);
}

SerialConfig PortSession::configure()
{
    SerialConfig config = config_;
    port_number_ = record_.comm_port;
    config.device = device_for_port(port_number_, port_map_);
    if (is_listed_baud_rate(record_.comm_baud_rate))
        config.baud = record_.comm_baud_rate;
    if (record_.comm_data_bits == 7 || record_.comm_data_bits == 8)
        config.data_bits = record_.comm_data_bits;
    // "odd" typed into DNC.ini by hand loads as 'o': take it as meant.
    const char parity = char(record_.comm_parity.toUpper().toLatin1());
    if (parity == 'O' || parity == 'E' || parity == 'N')
        config.parity = parity;
    if (record_.comm_stop_bits == 1 || record_.comm_stop_bits == 2)
        config.stop_bits = record_.comm_stop_bits;
    config.in_buffer =
        record_.in_buffer >= 1024 && record_.in_buffer <= 125000 ? record_.in_buffer : 4096;
    config.out_buffer =
        record_.out_buffer >= 1024 && record_.out_buffer <= 125000 ? record_.out_buffer : 2048;
    config.flow = flow_of_mode(record_.comm_handshake);
    config_ = config;
    out_buffer_ = config.out_buffer;
    rts_cts_ = has_rts_cts(config.flow);
    xon_xoff_ = has_xon_xoff(config.flow);
    return config;
}

QString PortSession::port_name() const
{
    return dnc::port_name(port_number_);
}

bool PortSession::open_port()
{
    const SerialConfig config = configure();
    std::shared_ptr<SerialLine> line = line_for(config.device);
    {
        std::lock_guard lock(line_mutex_);
        line_device_ = config.device;
    }
    QString error;
    bool ok = line->open(config, &error);
    if (!ok) {
        host_.note(kCannotInitialize + QStringLiteral(": ") + port_name());
        const QString problem =
            QStringLiteral("%1 (%2): %3").arg(port_name(), config.device, error);
        if (first_report(problem))
            host_.report_problem(problem);
    }
    ok = line->is_open();
    if (ok) {
        const QString limits = line->limits_reported();
        if (!limits.isEmpty())
            host_.report_problem(
                QStringLiteral("%1 (%2) cannot have: %3").arg(port_name(), config.device, limits));
        handshake_line_setup();
        if (record_.auto_dnc_flag)
            host_.note(kWaitingForCommand);
        host_.set_port_display(settings_line());
        const AdapterIdentity identity =
            fixed_adapter_ ? *fixed_adapter_ : identify_device(config.device);
        {
            std::lock_guard lock(adapter_mutex_);
            adapter_ = identity;
        }
        set_last_identified_adapter(identity);
    } else {
        host_.set_port_display(kNotConnected);
    }
    show_ready_note();
    return ok;
}

void PortSession::close_port()
{
    if (auto line = this->line())
        line->close();
}

bool PortSession::is_open() const
{
    const auto line = this->line();
    return line && line->is_open();
}

void PortSession::handshake_line_setup()
{
    const int mode = record_.comm_handshake;
    if (mode < HandshakeXonXoff || mode > HandshakeMode6)
        return;
    const DriverFlow flow = flow_of_mode(mode);
    rts_cts_ = has_rts_cts(flow);
    xon_xoff_ = has_xon_xoff(flow);
    if (auto line = this->line())
        line->set_driver_flow(flow);
    set_dtr(true);
    switch (mode) {
    case HandshakeXonXoff:
        set_rts(false);
        break;
    case HandshakeRtsCts:
        set_flow_state(false);
        break;
    case HandshakeMode5:
        set_rts(true);
        set_flow_state(false);
        break;
    default:
        set_rts(true);
        break;
    }
}

void PortSession::set_lines_when_open()
{
    rts_cts_ = false;
    xon_xoff_ = true;
    if (auto line = this->line())
        line->set_driver_flow(DriverFlow::XonXoff);
    set_dtr(true);
    set_rts(true);
}

void PortSession::hw_xon_xoff_wait_setup()
{
    record_.waiting_for_xon_to_punch = true;
    if (adapter().family == 0) {
        set_flow_state(true);
        set_xon_xoff_control(true);
        hold_transmitter();
    } else {
        set_xon_xoff_control(false);
    }
    set_flow_state(false);
}

bool PortSession::port_start()
{
    if (is_open())
        close_port();
    if (record_.comm_handshake == HandshakeDtrDsrMode3)
        set_dtr(true);
    bool ok = open_port();
    if (!ok)
        ok = open_port();
    if (!ok)
        return false;

    if (record_.file_type == FileBinary) {
        record_.comm_handshake = HandshakeRtsCts;
        return true;
    }
    const bool wait = record_.WaitForSignalChecked;
    if (record_.send_button_flag) {
        record_.waiting_for_cts_to_punch = false;
        record_.send_button_flag = false;
        if (!record_.SelectStart)
            host_.highlight_line(1);
        record_.xon_counter = 0;
        switch (record_.comm_handshake) {
        case HandshakeXonXoff:
            set_flow_state(false);
            record_.punching = false;
            record_.end_program_flag = false;
            set_dtr(true);
            set_xon_xoff_control(false);
            if (wait) {
                record_.waiting_for_xon_to_punch = true;
            } else {
                set_flow_state(true);
                record_.punching = true;
                record_.waiting_for_xon_to_punch = false;
                host_.start_send();
            }
            break;
        case HandshakeNone:
            record_.waiting_for_xon_to_punch = false;
            record_.waiting_for_cts_to_punch = false;
            record_.end_program_flag = false;
            if (wait) {
                record_.waiting_for_xon_to_punch = true;
                set_flow_state(false);
                record_.punching = false;
            } else {
                set_flow_state(true);
                host_.start_send();
            }
            break;
        case HandshakeHwXonXoff:
            set_flow_state(true);
            record_.punching = false;
            record_.end_program_flag = false;
            set_rts(true);
            set_dtr(true);
            if (wait) {
                hw_xon_xoff_wait_setup();
            } else {
                record_.waiting_for_xon_to_punch = false;
                set_xon_xoff_control(true);
                release_transmitter();
                set_flow_state(true);
                host_.start_send();
            }
            break;
        case HandshakeDtrDsrMode3:
            set_dtr(true);
            break;
        case HandshakeRtsCts:
            record_.waiting_for_xon_to_punch = false;
            record_.punching = false;
            record_.first_punch = true;
            record_.waiting_for_cts_to_punch = wait;
            set_flow_state(!wait);
            if (!host_.back_plot_transfer_active() && !record_.waiting_for_cts_to_punch)
                host_.start_send();
            break;
        case HandshakeMode5:
            set_flow_state(true);
            record_.punching = false;
            record_.first_punch = true;
            write_byte(0);
            record_.waiting_for_cts_to_punch = wait;
            set_flow_state(record_.punching);
            wait_for_cts_start();
            break;
        case HandshakeMode6:
            set_flow_state(false);
            record_.punching = false;
            record_.end_program_flag = false;
            set_rts(true);
            set_dtr(true);
            set_xon_xoff_control(false);
            record_.waiting_for_xon_to_punch = wait;
            if (!wait)
                host_.start_send();
            break;
        default:
            break;
        }
    } else if (record_.clear_button_flag) {
        record_.clear_button_flag = false;
        if (record_.auto_dnc_flag)
            host_.note(kWaitingForCommand);
    } else if (record_.receive_button_flag) {
        record_.receive_button_flag = false;
        record_.end_program_flag = false;
        record_.punching = false;
        host_.note(QStringLiteral("Waiting For Data"));
        if (record_.auto_dnc_flag) {
            host_.note(record_.auto_receive_flag ? QStringLiteral("Waiting to Receive File ") +
                                                       QFileInfo(record_.filename()).fileName()
                                                 : kWaitingForCommand);
        }
        set_dtr(true);
        if (record_.comm_handshake == HandshakeHwXonXoff ||
            record_.comm_handshake == HandshakeXonXoff) {
            set_rts(true);
            set_dtr(true);
        }
    }
    return true;
}

void PortSession::wait_for_cts_start()
{
    // The machine's CTS starts the send (the CTS handler clears the flag);
    // the UI keeps working meanwhile.
    while (record_.waiting_for_cts_to_punch && !record_.abort2) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

QString PortSession::format_text()
{
    switch (record_.punch_format) {
    case PunchAscii:
        return QStringLiteral("ASCII");
    case PunchIso:
        return QStringLiteral("ISO");
    case PunchOther:
        if (record_.CharTransFile.isEmpty()) {
            host_.show_message(QStringLiteral("Error"),
                               QStringLiteral("\"Other\" format requires translation file"), 0);
            return QStringLiteral("Other");
        }
        return QFileInfo(record_.CharTransFile).fileName().left(3);
    default:
        return QString::number(record_.punch_format);
    }
}

QString PortSession::settings_line()
{
    if (!is_open())
        return kNotConnected;
    if (record_.file_type == FileBinary)
        return QStringLiteral("%1 Baud, %2").arg(config_.baud).arg(port_name());
    return QStringLiteral("%1 Baud, %2 db, %3 sb, %4, %5, %6, %7%8")
        .arg(config_.baud)
        .arg(config_.data_bits)
        .arg(config_.stop_bits)
        .arg(format_text(), parity_text(config_.parity), port_name(),
             handshake_text(record_.comm_handshake),
             record_.WaitForSignalChecked ? QStringLiteral(", wait") : QStringLiteral(", no wait"));
}

QString PortSession::ready_note() const
{
    if (!is_open())
        return kCannotInitialize + QStringLiteral(": ") + port_name();
    if (record_.auto_dnc_flag)
        return kWaitingForCommand;
    return port_name() + QStringLiteral(" Ready");
}

void PortSession::show_ready_note()
{
    host_.note(ready_note());
}

void PortSession::set_flow_state(bool on)
{
    if (record_.xon.exchange(on) != on)
        host_.flow_indicator_changed(on);
}

bool PortSession::read_cts()
{
    const auto line = this->line();
    const bool cts = line && line->is_open() && line->cts();
    set_flow_state(cts);
    return cts;
}

bool PortSession::purge(bool input, bool output)
{
    if (input) {
        std::lock_guard lock(pending_mutex_);
        pending_.clear();
    }
    const auto line = this->line();
    return line && line->purge(input, output);
}

void PortSession::hold_transmitter()
{
    if (auto line = this->line())
        line->hold_transmitter();
}

void PortSession::release_transmitter()
{
    if (auto line = this->line())
        line->release_transmitter();
}

void PortSession::set_xon_xoff_control(bool on)
{
    xon_xoff_ = on;
    if (auto line = this->line())
        line->set_driver_flow(driver_flow(rts_cts_, on));
}

bool PortSession::set_dtr(bool on)
{
    const auto line = this->line();
    return line && line->set_dtr(on);
}

bool PortSession::set_rts(bool on)
{
    const auto line = this->line();
    return line && line->set_rts(on);
}

int PortSession::output_queue() const
{
    const auto line = this->line();
    return line ? line->output_queue() : -1;
}

int PortSession::free_output_space() const
{
    return out_buffer_ - std::max(0, output_queue());
}

qint64 PortSession::write_bytes(const QByteArray &bytes, const std::atomic<bool> *abort)
{
    const auto line = this->line();
    if (!line || bytes.isEmpty())
        return 0;
    return line->write(bytes.constData(), bytes.size(), abort ? abort : &record_.abort2);
}

bool PortSession::write_byte(std::uint8_t byte, const std::atomic<bool> *abort)
{
    return write_bytes(QByteArray(1, char(convert_byte_for_sending(record_, byte))), abort) == 1;
}

qint64 PortSession::write_text(const QString &text, const std::atomic<bool> *abort)
{
    return write_bytes(line_bytes_for_sending(record_, text), abort);
}

qint64 PortSession::write_control_string(const QString &text, const std::atomic<bool> *abort)
{
    QStringList problems;
    const QByteArray bytes = control_string_bytes(record_, text, &problems);
    for (const QString &problem : problems) {
        const QString report = QStringLiteral("%1: in the leader or trailer \"%2\": %3")
                                   .arg(port_name(), text, problem);
        if (first_report(report))
            host_.report_problem(report);
    }
    return write_bytes(bytes, abort);
}

qint64 PortSession::write_raw(const QByteArray &bytes, const std::atomic<bool> *abort)
{
    return write_bytes(bytes, abort);
}

void PortSession::flush_output()
{
    if (const auto line = this->line())
        line->flush();
}

QByteArray PortSession::read_pending()
{
    QByteArray bytes;
    {
        std::lock_guard lock(pending_mutex_);
        bytes.swap(pending_);
    }
    if (const auto line = this->line())
        bytes.append(line->read_pending());
    return bytes;
}

AdapterIdentity PortSession::adapter() const
{
    std::lock_guard lock(adapter_mutex_);
    return adapter_;
}

bool ensure_port(const QList<PortSession *> &sessions, int index)
{
    PortSession &self = *sessions.at(index);
    const bool was_open = self.is_open();
    bool duplicate = false;
    for (PortSession *other : sessions) {
        if (other == &self || !same_port(*other, self))
            continue;
        duplicate = true;
        if (!other->is_open() || other->record().auto_dnc_flag) {
            other->close_port();
            other->host().note(kDuplicatePort + QStringLiteral(": ") +
                               port_name(other->record().comm_port));
        }
    }
    if (!self.is_open()) {
        self.close_port();
        self.port_start();
        if (!self.is_open()) {
            const QString name = port_name(self.record().comm_port);
            self.host().note(duplicate ? kDuplicatePort + QStringLiteral(": ") + name
                                       : name + QStringLiteral(" ") + kNotConnected);
        }
    }
    if (!was_open)
        self.host().reset_action();
    return self.is_open();
}

void open_all_ports(const QList<PortSession *> &sessions)
{
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        PortSession &session = *sessions[i];
        const bool duplicate =
            std::any_of(sessions.begin(), sessions.begin() + i,
                        [&](PortSession *earlier) { return same_port(*earlier, session); });
        if (duplicate) {
            session.close_port();
            session.host().note(kDuplicatePort + QStringLiteral(": ") +
                                port_name(session.record().comm_port));
            continue;
        }
        session.port_start();
        session.record().abort2 = true;
        if (session.record().auto_dnc_flag)
            session.host().receive_action();
        session.record().ok_to_close_flag = false;
    }
}

void close_all_ports(const QList<PortSession *> &sessions)
{
    for (PortSession *session : sessions)
        session->close_port();
}

} // namespace dnc
