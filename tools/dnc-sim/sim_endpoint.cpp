#include "sim_endpoint.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace dncsim
{

namespace
{

std::string os_error(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

bool set_nonblocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

SimEndpoint::~SimEndpoint()
{
    if (!link_.empty())
        ::unlink(link_.c_str());
    for (int fd : {fd_, slave_fd_, listen_fd_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool SimEndpoint::open_pty(const std::string &link, std::string &error)
{
    termios raw{};
    cfmakeraw(&raw);
    char name[256] = {};
    if (::openpty(&fd_, &slave_fd_, name, &raw, nullptr) != 0) {
        error = os_error("openpty");
        return false;
    }
    if (!set_nonblocking(fd_)) {
        error = os_error("fcntl");
        return false;
    }
    device_ = name;
    if (!link.empty()) {
        struct stat st {
        };
        if (::lstat(link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = "--link: " + link + " exists and is not a symlink";
                return false;
            }
            ::unlink(link.c_str());
        }
        if (::symlink(name, link.c_str()) != 0) {
            error = os_error("symlink " + link);
            return false;
        }
        link_ = link;
        device_ = link;
    }
    return true;
}

bool SimEndpoint::listen_tcp(const std::string &addr, int port, std::string &error)
{
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) {
        error = os_error("socket");
        return false;
    }
    const int one = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, addr.c_str(), &sa.sin_addr) != 1) {
        error = "--bind: " + addr + " is not an IPv4 address";
        return false;
    }
    if (::bind(listen_fd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        error = os_error("bind " + addr + ":" + std::to_string(port));
        return false;
    }
    if (::listen(listen_fd_, 1) != 0) {
        error = os_error("listen");
        return false;
    }
    socklen_t len = sizeof sa;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr *>(&sa), &len);
    device_ = "socket://" + addr + ":" + std::to_string(ntohs(sa.sin_port));
    return true;
}

bool SimEndpoint::accept_connection(int timeout_ms, std::string &error)
{
    pollfd p{listen_fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeout_ms);
    if (ready <= 0) {
        error = ready == 0 ? "nobody connected" : os_error("poll");
        return false;
    }
    fd_ = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd_ < 0) {
        error = os_error("accept");
        return false;
    }
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

} // namespace dncsim
