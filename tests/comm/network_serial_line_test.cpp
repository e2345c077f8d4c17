// The network backend against a local TCP listener playing the
// Ethernet-to-serial device server.
#include "comm/network_serial_line.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace dnc
{
namespace
{

using namespace std::chrono_literals;

// A device server on 127.0.0.1 with a port of its own.
class DeviceServer
{
public:
    DeviceServer()
    {
        listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_fd_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(listen_fd_, 4);
        socklen_t length = sizeof address;
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr *>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~DeviceServer()
    {
        drop();
        ::close(listen_fd_);
    }
    QString device() const { return QStringLiteral("socket://127.0.0.1:%1").arg(port_); }
    bool accept_line()
    {
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0)
            return false;
        fd_ = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        return fd_ >= 0;
    }
    void send(const QByteArray &bytes) { ::send(fd_, bytes.constData(), bytes.size(), 0); }
    QByteArray read_for(int ms)
    {
        QByteArray out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        char buffer[65536];
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            out.append(buffer, n);
        }
        return out;
    }
    QByteArray read_exactly(qsizetype count)
    {
        QByteArray out;
        for (int i = 0; i < 200 && out.size() < count; ++i)
            out += read_for(10);
        return out;
    }
    void drop()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int listen_fd_ = -1;
    int fd_ = -1;
    int port_ = 0;
};

struct Events {
    std::mutex mutex;
    std::condition_variable cv;
    QByteArray data;
    std::thread::id thread;
    QString lost;

    SerialEvents make()
    {
        SerialEvents events;
        events.received = [this](const QByteArray &b) {
            std::lock_guard lock(mutex);
            data += b;
            thread = std::this_thread::get_id();
            cv.notify_all();
        };
        events.lost = [this](const QString &reason) {
            std::lock_guard lock(mutex);
            lost = reason;
            cv.notify_all();
        };
        return events;
    }
    bool wait(const std::function<bool()> &done)
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 5s, done);
    }
};

SerialConfig config_for(const QString &device, DriverFlow flow = DriverFlow::None)
{
    SerialConfig config;
    config.device = device;
    config.flow = flow;
    return config;
}

TEST(NetworkSerialLine, CarriesBytesBothWays)
{
    DeviceServer server;
    NetworkSerialLine line;
    Events events;
    line.set_events(events.make());
    QString error;
    ASSERT_TRUE(line.open(config_for(server.device()), &error)) << error.toStdString();
    ASSERT_TRUE(server.accept_line());
    EXPECT_FALSE(line.has_modem_lines());
    EXPECT_FALSE(line.set_dtr(true));
    EXPECT_TRUE(line.cts());
    EXPECT_TRUE(line.limits_reported().contains("modem lines"));

    EXPECT_EQ(line.write("%\r\nG01\r\n", 8), 8);
    EXPECT_EQ(server.read_exactly(8), "%\r\nG01\r\n");
    server.send("O1000\n");
    ASSERT_TRUE(events.wait([&] { return events.data.size() >= 6; }));
    std::lock_guard lock(events.mutex);
    EXPECT_EQ(events.data, "O1000\n");
    EXPECT_NE(events.thread, std::this_thread::get_id());
}

TEST(NetworkSerialLine, SoftwareXonXoffHoldsTheWriterAndPassesTheCodesOn)
{
    DeviceServer server;
    NetworkSerialLine line;
    Events events;
    line.set_events(events.make());
    ASSERT_TRUE(line.open(config_for(server.device(), DriverFlow::XonXoff), nullptr));
    ASSERT_TRUE(server.accept_line());
    server.send("\x13");
    ASSERT_TRUE(events.wait([&] { return events.data.size() >= 1; }));
    std::thread writer([&] { line.write("N10\n", 4); });
    EXPECT_EQ(server.read_for(100), "");
    server.send("\x11");
    EXPECT_EQ(server.read_exactly(4), "N10\n");
    writer.join();
    ASSERT_TRUE(events.wait([&] { return events.data.size() >= 2; }));
    std::lock_guard lock(events.mutex);
    EXPECT_EQ(events.data, "\x13\x11");
}

TEST(NetworkSerialLine, HeldTransmitterKeepsOutputUntilReleased)
{
    DeviceServer server;
    NetworkSerialLine line;
    SerialConfig config = config_for(server.device());
    config.out_buffer = 1024;
    ASSERT_TRUE(line.open(config, nullptr));
    ASSERT_TRUE(server.accept_line());
    line.hold_transmitter();
    EXPECT_EQ(line.write("X", 1), 1); // into the output buffer
    EXPECT_EQ(server.read_for(50), "");
    // More than the buffer holds: the writer waits, until its abort flag.
    const QByteArray big(4096, 'N');
    std::atomic<bool> abort{false};
    qint64 accepted = -1;
    std::thread writer([&] { accepted = line.write(big.constData(), big.size(), &abort); });
    std::this_thread::sleep_for(50ms);
    abort = true;
    writer.join();
    EXPECT_LT(accepted, big.size());
    EXPECT_EQ(server.read_for(20), "");
    line.release_transmitter();
    EXPECT_EQ(line.write("Y", 1), 1);
    const QByteArray got = server.read_exactly(2 + accepted);
    EXPECT_EQ(got.size(), 2 + accepted);
    EXPECT_TRUE(got.startsWith('X'));
    EXPECT_TRUE(got.endsWith('Y'));
}

TEST(NetworkSerialLine, ADroppedConnectionIsLostAndCanBeOpenedAgain)
{
    DeviceServer server;
    NetworkSerialLine line;
    Events events;
    line.set_events(events.make());
    ASSERT_TRUE(line.open(config_for(server.device()), nullptr));
    ASSERT_TRUE(server.accept_line());
    server.drop();
    ASSERT_TRUE(events.wait([&] { return !events.lost.isEmpty(); }));
    EXPECT_FALSE(line.is_open());
    ASSERT_TRUE(line.open(config_for(server.device()), nullptr));
    ASSERT_TRUE(server.accept_line());
    EXPECT_EQ(line.write("ok", 2), 2);
    EXPECT_EQ(server.read_exactly(2), "ok");
}

TEST(NetworkSerialLine, OpenFailuresSayWhy)
{
    QString device;
    {
        DeviceServer gone;
        device = gone.device();
    }
    NetworkSerialLine line;
    QString error;
    EXPECT_FALSE(line.open(config_for(device), &error));
    EXPECT_TRUE(error.startsWith(device)) << error.toStdString();
    EXPECT_FALSE(line.open(config_for("socket://127.0.0.1"), &error));
    EXPECT_TRUE(error.contains("socket://host:port")) << error.toStdString();
}

} // namespace
} // namespace dnc
