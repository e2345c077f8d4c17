#include "remote/bounded_http_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dnc
{

namespace
{

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

thread_local bool refusing_thread = false;

// Waits until `fd` has `events` (POLLIN or POLLOUT) or `timeout` passed.
// A hang-up or error counts as ready: the read or write then reports it.
bool wait_for(int fd, short events, milliseconds timeout)
{
    pollfd p{fd, events, 0};
    const Clock::time_point end = Clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now());
        const int n = ::poll(&p, 1, static_cast<int>(std::max<milliseconds::rep>(left.count(), 0)));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

void address_of(int fd, bool peer, std::string &ip, int &port)
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    const int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr *>(&addr), &len)
                        : ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ip.clear();
    port = -1;
    if (rc != 0)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(&addr);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&addr);
        ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        port = ntohs(in6->sin6_port);
    }
    ip = text;
}

// One request's view of a connection. Reading the request must finish
// before `deadline`, and no read waits longer than the read timeout. Bytes
// received beyond the request stay in the connection's buffer for the next
// request.
class DeadlineStream final : public httplib::Stream
{
public:
    DeadlineStream(int fd, const HttpLimits &limits, std::string &buffer)
        : fd_(fd), limits_(limits), deadline_(Clock::now() + limits.request_timeout),
          buffer_(buffer)
    {
    }

    bool is_readable() const override
    {
        return !buffer_.empty() || wait_for(fd_, POLLIN, read_wait());
    }

    bool is_writable() const override { return wait_for(fd_, POLLOUT, limits_.write_timeout); }

    // True once a read gave up waiting: the client is too slow and the
    // connection is closed after the reply (httplib answers 400).
    bool timed_out() const { return timed_out_; }

    ssize_t read(char *ptr, size_t size) override
    {
        if (buffer_.empty()) {
            if (!wait_for(fd_, POLLIN, read_wait())) {
                timed_out_ = true;
                return -1;
            }
            char chunk[4096];
            ssize_t n;
            do {
                n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
            } while (n < 0 && errno == EINTR);
            if (n <= 0)
                return n;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
        const size_t n = std::min(size, buffer_.size());
        buffer_.copy(ptr, n);
        buffer_.erase(0, n);
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char *ptr, size_t size) override
    {
        if (!is_writable())
            return -1;
        ssize_t n;
        do {
            n = ::send(fd_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        return n;
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        address_of(fd_, true, ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        address_of(fd_, false, ip, port);
    }
    socket_t socket() const override { return fd_; }

private:
    milliseconds read_wait() const
    {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline_ - Clock::now());
        return std::clamp(left, milliseconds(0), limits_.read_timeout);
    }

    const int fd_;
    const HttpLimits &limits_;
    const Clock::time_point deadline_;
    std::string &buffer_;
    bool timed_out_ = false;
};

void close_socket(int fd)
{
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

} // namespace

ConnectionPool::ConnectionPool(int max_threads) : max_threads_(std::max(max_threads, 1)) {}

ConnectionPool::~ConnectionPool()
{
    shutdown();
}

bool ConnectionPool::on_refusing_thread()
{
    return refusing_thread;
}

void ConnectionPool::enqueue(std::function<void()> fn)
{
    std::lock_guard lock(mutex_);
    if (down_)
        return;
    if (idle_ > static_cast<int>(jobs_.size())) {
        jobs_.push_back(std::move(fn));
        work_ready_.notify_one();
    } else if (static_cast<int>(threads_.size()) < max_threads_) {
        jobs_.push_back(std::move(fn));
        threads_.emplace_back([this] { work(); });
    } else {
        refusals_.push_back(std::move(fn));
        if (!refuser_.joinable())
            refuser_ = std::thread([this] { refuse(); });
        refusal_ready_.notify_one();
    }
}

void ConnectionPool::shutdown()
{
    std::vector<std::thread> threads;
    std::thread refuser;
    {
        std::lock_guard lock(mutex_);
        down_ = true;
        threads.swap(threads_);
        refuser.swap(refuser_);
    }
    work_ready_.notify_all();
    refusal_ready_.notify_all();
    for (std::thread &t : threads)
        t.join();
    if (refuser.joinable())
        refuser.join();
}

void ConnectionPool::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        work_ready_.wait(lock, [this] { return !jobs_.empty() || down_; });
        --idle_;
        if (jobs_.empty())
            return;
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

void ConnectionPool::refuse()
{
    refusing_thread = true;
    std::unique_lock lock(mutex_);
    for (;;) {
        refusal_ready_.wait(lock, [this] { return !refusals_.empty() || down_; });
        if (refusals_.empty())
            return;
        std::function<void()> job = std::move(refusals_.front());
        refusals_.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

BoundedHttpServer::BoundedHttpServer(const HttpLimits &limits) : limits_(limits)
{
    new_task_queue = [max = limits.max_connections] { return new ConnectionPool(max); };
}

bool BoundedHttpServer::bind(const std::string &host, int port)
{
    if (!bind_to_port(host, port))
        return false;
    // httplib listens with a queue of 5: a burst of connections beyond that
    // is dropped by the kernel and each client retries only after a second.
    const socket_t fd = svr_sock_;
    ::listen(fd, SOMAXCONN);
    return true;
}

void BoundedHttpServer::drop_connections()
{
    std::lock_guard lock(connections_mutex_);
    dropping_ = true;
    for (socket_t fd : connections_)
        ::shutdown(fd, SHUT_RDWR);
}

int BoundedHttpServer::bound_port() const
{
    std::string ip;
    int port = -1;
    const socket_t fd = svr_sock_;
    if (fd != INVALID_SOCKET)
        address_of(fd, false, ip, port);
    return port;
}

bool BoundedHttpServer::process_and_close_socket(socket_t sock)
{
    if (ConnectionPool::on_refusing_thread()) {
        static const char busy[] = "HTTP/1.1 503 Service Unavailable\r\n"
                                   "Content-Length: 0\r\nConnection: close\r\n\r\n";
        (void)::send(sock, busy, sizeof busy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        close_socket(sock);
        return false;
    }
    {
        std::lock_guard lock(connections_mutex_);
        if (dropping_) {
            close_socket(sock);
            return false;
        }
        connections_.insert(sock);
    }
    serve_connection(sock);
    {
        std::lock_guard lock(connections_mutex_);
        connections_.erase(sock);
    }
    close_socket(sock);
    return true;
}

void BoundedHttpServer::serve_connection(socket_t sock)
{
    const int yes = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    std::string buffered;
    for (int count = std::max(limits_.keep_alive_max_count, 1); count > 0; --count) {
        if (svr_sock_ == INVALID_SOCKET || !wait_for_next_request(sock, buffered))
            return;
        DeadlineStream stream(sock, limits_, buffered);
        bool connection_closed = false;
        if (!process_request(stream, count == 1, connection_closed, nullptr) || connection_closed ||
            stream.timed_out())
            return;
    }
}

bool BoundedHttpServer::wait_for_next_request(socket_t sock, const std::string &buffered) const
{
    return !buffered.empty() || wait_for(sock, POLLIN, limits_.keep_alive_timeout);
}

} // namespace dnc
