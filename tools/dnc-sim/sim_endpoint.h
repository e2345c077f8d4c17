// The simulated control's end of the serial line: the master side of a
// pseudo-terminal, or one accepted TCP connection.
#pragma once

#include <string>

namespace dncsim
{

class SimEndpoint
{
public:
    SimEndpoint() = default;
    SimEndpoint(const SimEndpoint &) = delete;
    SimEndpoint &operator=(const SimEndpoint &) = delete;
    ~SimEndpoint();

    // Opens a raw pty pair and keeps the slave side open, so the server may
    // close and reopen its end without the line hanging up. With `link` a
    // symlink to the slave is made (replacing an older symlink there).
    bool open_pty(const std::string &link, std::string &error);

    // Listens on addr:port (port 0 = any free port); accept() waits for the
    // server to connect.
    bool listen_tcp(const std::string &addr, int port, std::string &error);
    bool accept_connection(int timeout_ms, std::string &error);

    // The name the server must use for the line.
    const std::string &device() const { return device_; }
    // Non-blocking descriptor to read from and write to (-1 before accept).
    int fd() const { return fd_; }
    bool is_tcp() const { return listen_fd_ >= 0; }

private:
    int fd_ = -1;
    int slave_fd_ = -1;
    int listen_fd_ = -1;
    std::string device_;
    std::string link_;
};

} // namespace dncsim
