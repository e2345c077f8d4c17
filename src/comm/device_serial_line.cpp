#include "comm/device_serial_line.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// The kernel's termios2 (arbitrary baud rates through BOTHER); glibc's
// <termios.h> does not declare it and <asm/termbits.h> clashes with it.
struct termios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
#ifndef BOTHER
#define BOTHER 0010000
#endif

namespace dnc
{

namespace
{

speed_t standard_speed(int baud)
{
    switch (baud) {
    case 110:
        return B110;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return 0;
    }
}

QString system_error()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The sysfs attribute of a USB adapter's latency timer, when it has one.
QString latency_timer_path(const QString &device)
{
    const QString name = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    if (name.isEmpty())
        return {};
    const QString path = QStringLiteral("/sys/class/tty/%1/device/latency_timer").arg(name);
    return QFileInfo::exists(path) ? path : QString();
}

// Asks the driver to hand over received bytes at once. Returns what could
// not be done, or an empty text.
QString set_low_latency(int fd, const QString &device)
{
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        if (serial.flags & ASYNC_LOW_LATENCY)
            return {};
        serial.flags |= ASYNC_LOW_LATENCY;
        if (ioctl(fd, TIOCSSERIAL, &serial) == 0)
            return {};
    }
    const QString timer = latency_timer_path(device);
    if (timer.isEmpty())
        return {}; // nothing holds bytes back (a UART, a pseudo-terminal)
    QFile file(timer);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const int ms = file.readAll().trimmed().toInt();
    file.close();
    if (ms <= 1)
        return {};
    if (file.open(QIODevice::WriteOnly) && file.write("1") == 1 && file.flush())
        return {};
    return QStringLiteral("low-latency mode (the adapter holds received bytes up to %1 ms; "
                          "allow writing to %2 to shorten it)")
        .arg(ms)
        .arg(timer);
}

void describe_refusals(const termios &want, const termios &got, QStringList *refused)
{
    if ((want.c_cflag & CSIZE) != (got.c_cflag & CSIZE))
        refused->append((want.c_cflag & CSIZE) == CS7 ? QStringLiteral("7 data bits")
                                                      : QStringLiteral("8 data bits"));
    if ((want.c_cflag & (PARENB | PARODD)) != (got.c_cflag & (PARENB | PARODD))) {
        refused->append(!(want.c_cflag & PARENB)  ? QStringLiteral("no parity")
                        : (want.c_cflag & PARODD) ? QStringLiteral("odd parity")
                                                  : QStringLiteral("even parity"));
    }
    if ((want.c_cflag & CSTOPB) != (got.c_cflag & CSTOPB))
        refused->append((want.c_cflag & CSTOPB) ? QStringLiteral("2 stop bits")
                                                : QStringLiteral("1 stop bit"));
    if ((want.c_cflag & CRTSCTS) != (got.c_cflag & CRTSCTS))
        refused->append(QStringLiteral("RTS/CTS flow control"));
    if ((want.c_iflag & (IXON | IXOFF)) != (got.c_iflag & (IXON | IXOFF)))
        refused->append(QStringLiteral("XON/XOFF flow control"));
}

void apply_flow(termios &t, DriverFlow flow)
{
    t.c_cflag &= ~tcflag_t(CRTSCTS);
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    if (has_rts_cts(flow))
        t.c_cflag |= CRTSCTS;
    if (has_xon_xoff(flow))
        t.c_iflag |= IXON | IXOFF;
}

// The device the kernel writes its console to (a virtual machine's first
// serial port, a headless box's service port) is never a machine's line:
// configuring it would garble the console, and a machine's data would mix
// with the kernel's messages.
bool is_system_console(const QString &device)
{
    const QString name = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    QFile active(QStringLiteral("/sys/class/tty/console/active"));
    if (name.isEmpty() || !active.open(QIODevice::ReadOnly))
        return false;
    return QString::fromLatin1(active.readAll()).simplified().split(u' ').contains(name);
}

} // namespace

DeviceSerialLine::~DeviceSerialLine()
{
    shut_down();
}

int DeviceSerialLine::open_fd(const SerialConfig &config, QString *error, QStringList *refused)
{
    if (is_system_console(config.device)) {
        *error = QStringLiteral("%1: the system console, not a machine's line").arg(config.device);
        return -1;
    }
    const QByteArray path = QFile::encodeName(config.device);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("%1: %2").arg(config.device, system_error());
        return -1;
    }
    bool exclusive = false;
    auto fail = [&](const QString &why) {
        *error = QStringLiteral("%1: %2").arg(config.device, why);
        if (exclusive)
            ioctl(fd, TIOCNXCL);
        ::close(fd);
        return -1;
    };
    if (!isatty(fd))
        return fail(QStringLiteral("not a serial device"));
    // Another program holding the device keeps it (flock is how serial
    // programs on Linux say so).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(QStringLiteral("in use by another program"));
    exclusive = ioctl(fd, TIOCEXCL) == 0;

    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return fail(system_error());
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB);
    t.c_cflag |= config.data_bits == 7 ? CS7 : CS8;
    if (config.parity == 'E' || config.parity == 'O')
        t.c_cflag |= PARENB;
    if (config.parity == 'O')
        t.c_cflag |= PARODD;
    if (config.stop_bits == 2)
        t.c_cflag |= CSTOPB;
    // A character with a parity error arrives as NUL (which the receive
    // handler drops) rather than as a wrong character.
    t.c_iflag &= ~tcflag_t(IGNPAR | PARMRK | ISTRIP | IGNBRK | BRKINT | INPCK);
    if (t.c_cflag & PARENB)
        t.c_iflag |= INPCK;
    apply_flow(t, config.flow);
    t.c_cc[VSTART] = 17;
    t.c_cc[VSTOP] = 19;
    // With O_NONBLOCK, VMIN 1 makes read() say EAGAIN when nothing waits and 0
    // only when the line hung up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    const speed_t speed = standard_speed(config.baud);
    cfsetispeed(&t, speed ? speed : B38400);
    cfsetospeed(&t, speed ? speed : B38400);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        // Some devices refuse the whole set when they cannot have 7 data
        // bits or parity (a pseudo-terminal is always 8N): take the rest.
        termios eight_n = t;
        eight_n.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD);
        eight_n.c_cflag |= CS8;
        eight_n.c_iflag &= ~tcflag_t(INPCK);
        if (errno != EINVAL || tcsetattr(fd, TCSANOW, &eight_n) != 0)
            return fail(system_error());
    }
    if (!speed) {
        termios2 t2{};
        if (ioctl(fd, TCGETS2, &t2) == 0) {
            t2.c_cflag &= ~tcflag_t(CBAUD);
            t2.c_cflag |= BOTHER;
            t2.c_ispeed = t2.c_ospeed = speed_t(config.baud);
            if (ioctl(fd, TCSETS2, &t2) != 0)
                refused->append(QStringLiteral("%1 baud").arg(config.baud));
        } else {
            refused->append(QStringLiteral("%1 baud").arg(config.baud));
        }
    }
    termios got{};
    if (tcgetattr(fd, &got) == 0)
        describe_refusals(t, got, refused);

    int bits = 0;
    modem_lines_ = ioctl(fd, TIOCMGET, &bits) == 0;
    last_cts_ = bits & TIOCM_CTS;
    if (!modem_lines_)
        refused->append(QStringLiteral("modem lines (DTR, RTS, CTS)"));
    has_counters_ = ioctl(fd, TIOCGICOUNT, &counters_) == 0;
    serial_struct serial{};
    real_line_ = modem_lines_ || has_counters_ || ioctl(fd, TIOCGSERIAL, &serial) == 0;

    const QString latency = set_low_latency(fd, config.device);
    if (!latency.isEmpty())
        refused->append(latency);
    return fd;
}

bool DeviceSerialLine::has_modem_lines() const
{
    return modem_lines_;
}

bool DeviceSerialLine::set_modem_bit(int bit, bool on)
{
    return with_fd([&](int fd) { return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0; }, false);
}

bool DeviceSerialLine::set_dtr(bool on)
{
    return set_modem_bit(TIOCM_DTR, on);
}

bool DeviceSerialLine::set_rts(bool on)
{
    return set_modem_bit(TIOCM_RTS, on);
}

bool DeviceSerialLine::cts() const
{
    return with_fd(
        [&](int fd) {
            int bits = 0;
            return ioctl(fd, TIOCMGET, &bits) != 0 || (bits & TIOCM_CTS);
        },
        true);
}

void DeviceSerialLine::set_driver_flow(DriverFlow flow)
{
    with_fd(
        [&](int fd) {
            termios t{};
            if (tcgetattr(fd, &t) != 0)
                return false;
            apply_flow(t, flow);
            return tcsetattr(fd, TCSANOW, &t) == 0;
        },
        false);
}

void DeviceSerialLine::hold_transmitter()
{
    with_fd([](int fd) { return tcflow(fd, TCOOFF) == 0; }, false);
}

void DeviceSerialLine::release_transmitter()
{
    with_fd([](int fd) { return tcflow(fd, TCOON) == 0; }, false);
}

int DeviceSerialLine::queued_bytes(int fd) const
{
    int queued = 0;
    return ioctl(fd, TIOCOUTQ, &queued) == 0 ? queued : -1;
}

qint64 DeviceSerialLine::raw_write(int fd, const char *data, qint64 size)
{
    return ::write(fd, data, size_t(size));
}

bool DeviceSerialLine::flush_output(int fd)
{
    return tcflush(fd, TCOFLUSH) == 0;
}

void DeviceSerialLine::before_close(int fd)
{
    // Exclusive use belongs to the terminal, not to this descriptor: give it
    // back, or nobody could open the device while another holds it open
    // (a pseudo-terminal's machine side, a modem manager).
    ioctl(fd, TIOCNXCL);
}

bool DeviceSerialLine::flush_input(int fd)
{
    return tcflush(fd, TCIFLUSH) == 0;
}

int DeviceSerialLine::poll_interval_ms() const
{
    return modem_lines_ || has_counters_ ? 10 : -1;
}

void DeviceSerialLine::check_line_status(int fd)
{
    if (modem_lines_) {
        int bits = 0;
        if (ioctl(fd, TIOCMGET, &bits) == 0) {
            const bool cts = bits & TIOCM_CTS;
            if (cts != last_cts_) {
                last_cts_ = cts;
                fire_cts(cts);
            }
        }
    }
    if (has_counters_) {
        serial_icounter_struct now{};
        if (ioctl(fd, TIOCGICOUNT, &now) != 0)
            return;
        if (now.brk != counters_.brk)
            fire_break();
        if (now.frame != counters_.frame)
            fire_line_error(QStringLiteral("framing error"));
        if (now.parity != counters_.parity)
            fire_line_error(QStringLiteral("parity error"));
        if (now.overrun != counters_.overrun || now.buf_overrun != counters_.buf_overrun)
            fire_line_error(QStringLiteral("overrun"));
        counters_ = now;
    }
}

} // namespace dnc
