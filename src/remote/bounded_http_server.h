// An HTTP server (cpp-httplib) whose connections cannot wear it out: a
// client that sends its request slowly, or never finishes it, is dropped
// after a deadline; connection threads are started as clients arrive, up to
// a limit, and clients beyond it get "503 Service Unavailable" at once
// instead of waiting behind slow ones; stopping the server ends every open
// connection at once.
#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace dnc
{

struct HttpLimits {
    // Time a client has to deliver one whole request (line, headers, body).
    std::chrono::milliseconds request_timeout{10000};
    // Longest silence while a request is being read.
    std::chrono::milliseconds read_timeout{5000};
    // Longest wait for the client to take more of a reply.
    std::chrono::milliseconds write_timeout{5000};
    // Longest wait for the next request on a kept-alive connection.
    std::chrono::milliseconds keep_alive_timeout{5000};
    // Requests served on one connection before it is closed.
    int keep_alive_max_count = 1000;
    // Connections served at the same time; more are turned away.
    int max_connections = 64;
};

// The connection threads: one more is started whenever every existing one
// is busy, up to a limit; a connection arriving beyond it is handed to one
// extra thread that only turns it away.
class ConnectionPool final : public httplib::TaskQueue
{
public:
    explicit ConnectionPool(int max_threads);
    ~ConnectionPool() override;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

    // True on the thread that turns connections away.
    static bool on_refusing_thread();

private:
    void work();
    void refuse();

    const int max_threads_;
    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable refusal_ready_;
    std::deque<std::function<void()>> jobs_;
    std::deque<std::function<void()>> refusals_;
    std::vector<std::thread> threads_;
    std::thread refuser_;
    int idle_ = 0;
    bool down_ = false;
};

class BoundedHttpServer final : public httplib::Server
{
public:
    explicit BoundedHttpServer(const HttpLimits &limits);

    // Binds the listening socket (`port` 0: any free port) with a listen
    // queue long enough for a burst of clients. False with errno set when
    // the address cannot be bound.
    bool bind(const std::string &host, int port);

    // Ends every open connection (their threads then return at once).
    void drop_connections();
    // The port of the bound listening socket, -1 when none.
    int bound_port() const;

private:
    bool process_and_close_socket(socket_t sock) override;
    void serve_connection(socket_t sock);
    bool wait_for_next_request(socket_t sock, const std::string &buffered) const;

    const HttpLimits limits_;
    std::mutex connections_mutex_;
    std::set<socket_t> connections_;
    bool dropping_ = false; // guarded by connections_mutex_
};

} // namespace dnc
