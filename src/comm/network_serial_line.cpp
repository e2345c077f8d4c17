#include "comm/network_serial_line.h"

#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dnc
{

namespace
{

constexpr char DC1 = 17;
constexpr char DC3 = 19;

// Connects without blocking longer than the time-out; -1 and *error on
// failure.
int connect_to(const addrinfo &address, int timeout_ms, QString *error)
{
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    int result = ::connect(fd, address.ai_addr, address.ai_addrlen);
    if (result != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        result = ::poll(&p, 1, timeout_ms);
        if (result == 0) {
            *error = QStringLiteral("no answer");
            ::close(fd);
            return -1;
        }
        int so_error = 0;
        socklen_t length = sizeof so_error;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &so_error, &length);
        errno = so_error;
        result = so_error == 0 ? 0 : -1;
    }
    if (result != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return -1;
    }
    const int on = 1;
    // Lines are small and the machine waits for them: send each at once.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    return fd;
}

} // namespace

NetworkSerialLine::~NetworkSerialLine()
{
    shut_down();
}

int NetworkSerialLine::open_fd(const SerialConfig &config, QString *error, QStringList *refused)
{
    const QUrl url(config.device);
    const QString host = url.host();
    const int port = url.port(-1);
    if (url.scheme().compare(QStringLiteral("socket"), Qt::CaseInsensitive) != 0 ||
        host.isEmpty() || port <= 0) {
        *error =
            QStringLiteral("%1: not an address of the form socket://host:port").arg(config.device);
        return -1;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    const int lookup = getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(),
                                   &hints, &addresses);
    if (lookup != 0) {
        *error = QStringLiteral("%1: %2").arg(config.device,
                                              QString::fromLocal8Bit(gai_strerror(lookup)));
        return -1;
    }
    int fd = -1;
    QString why;
    for (const addrinfo *a = addresses; a && fd < 0; a = a->ai_next)
        fd = connect_to(*a, kConnectTimeoutMs, &why);
    freeaddrinfo(addresses);
    if (fd < 0) {
        *error = QStringLiteral("%1: %2").arg(config.device, why);
        return -1;
    }
    xon_xoff_ = has_xon_xoff(config.flow);
    stopped_ = false;
    refused->append(QStringLiteral("modem lines (DTR, RTS, CTS)"));
    if (has_rts_cts(config.flow))
        refused->append(QStringLiteral("RTS/CTS flow control"));
    return fd;
}

void NetworkSerialLine::set_driver_flow(DriverFlow flow)
{
    xon_xoff_ = has_xon_xoff(flow);
}

void NetworkSerialLine::hold_transmitter()
{
    stopped_ = true;
}

void NetworkSerialLine::release_transmitter()
{
    stopped_ = false;
    wake_writers();
}

int NetworkSerialLine::queued_bytes(int fd) const
{
    int queued = 0;
    return ioctl(fd, SIOCOUTQ, &queued) == 0 ? queued : -1;
}

qint64 NetworkSerialLine::raw_write(int fd, const char *data, qint64 size)
{
    return ::send(fd, data, size_t(size), MSG_NOSIGNAL);
}

bool NetworkSerialLine::flush_output(int)
{
    // What the socket holds is already on its way to the device server.
    return true;
}

bool NetworkSerialLine::flush_input(int fd)
{
    char buffer[4096];
    while (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
    return true;
}

void NetworkSerialLine::bytes_arrived(const QByteArray &bytes)
{
    if (!xon_xoff_)
        return;
    const qsizetype dc1 = bytes.lastIndexOf(DC1);
    const qsizetype dc3 = bytes.lastIndexOf(DC3);
    if (dc1 < 0 && dc3 < 0)
        return;
    stopped_ = dc3 > dc1;
    if (!stopped_)
        wake_writers();
}

} // namespace dnc
