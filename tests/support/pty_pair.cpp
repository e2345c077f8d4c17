#include "support/pty_pair.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace dnc::test
{

namespace
{
using clock = std::chrono::steady_clock;

int remaining_ms(clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
    return int(std::max<long long>(0, left));
}
} // namespace

PtyPair::PtyPair()
{
    termios raw{};
    cfmakeraw(&raw);
    char name[128] = {};
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slave_path_ = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    close_master();
    if (slave_ >= 0)
        ::close(slave_);
}

bool PtyPair::send(const QByteArray &bytes, int timeout_ms)
{
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (master_ < 0)
            return false;
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd p{master_, POLLOUT, 0};
        if (::poll(&p, 1, remaining_ms(deadline)) <= 0)
            return false;
    }
    return true;
}

QByteArray PtyPair::read_for(int ms)
{
    QByteArray out;
    const auto deadline = clock::now() + std::chrono::milliseconds(ms);
    char buf[65536];
    while (master_ >= 0) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        const int left = remaining_ms(deadline);
        if (left == 0)
            break;
        pollfd p{master_, POLLIN, 0};
        ::poll(&p, 1, left);
    }
    return out;
}

QByteArray PtyPair::read_exactly(qsizetype count, int timeout_ms)
{
    QByteArray out;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    char buf[65536];
    while (master_ >= 0 && out.size() < count) {
        const ssize_t n =
            ::read(master_, buf, size_t(std::min<qsizetype>(sizeof buf, count - out.size())));
        if (n > 0) {
            out.append(buf, n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        const int left = remaining_ms(deadline);
        if (left == 0)
            break;
        pollfd p{master_, POLLIN, 0};
        ::poll(&p, 1, left);
    }
    return out;
}

void PtyPair::close_master()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

MachineReader::MachineReader(int fd, int baud) : fd_(fd), baud_(baud)
{
    thread_ = std::thread([this] { run(); });
}

MachineReader::~MachineReader()
{
    stop();
}

void MachineReader::set_baud(int baud)
{
    baud_ = baud;
}

QByteArray MachineReader::received() const
{
    std::lock_guard lock(mutex_);
    return data_;
}

qsizetype MachineReader::received_size() const
{
    std::lock_guard lock(mutex_);
    return data_.size();
}

bool MachineReader::wait_for(qsizetype count, int timeout_ms) const
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return data_.size() >= count; });
}

void MachineReader::stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void MachineReader::run()
{
    char buf[65536];
    double credit = 0; // characters the UART may take in now
    auto last = clock::now();
    while (!stop_) {
        qsizetype want = qsizetype(sizeof buf);
        const int baud = baud_;
        if (baud > 0) {
            const auto now = clock::now();
            // A UART does not save up time while the line is idle: at most
            // 20 ms worth of characters (or 64) may arrive at once.
            const double cap = std::max(64.0, baud / 10.0 * 0.02);
            credit = std::min(
                credit + std::chrono::duration<double>(now - last).count() * baud / 10.0, cap);
            last = now;
            want = qsizetype(credit);
            if (want == 0) {
                // Not even one character time has passed: wait for it.
                const double wait_ms = std::max(1.0, (1.0 - credit) * 10000.0 / baud);
                std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(wait_ms));
                continue;
            }
        }
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0)
            continue;
        if (p.revents & (POLLERR | POLLNVAL))
            break;
        const ssize_t n = ::read(fd_, buf, size_t(want));
        if (n > 0) {
            credit -= double(n);
            std::lock_guard lock(mutex_);
            data_.append(buf, n);
            arrived_.notify_all();
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // The server's end hung up; a pty master reports it as EIO while
            // nobody holds the slave. Keep listening: it may open again.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

} // namespace dnc::test
