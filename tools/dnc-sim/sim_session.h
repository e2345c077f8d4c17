// The simulated control at work: receives at the emulated line speed into
// its input buffer, sends DC3/DC1 at the buffer's marks, runs the actions of
// the command line, and keeps the figures of the summary.
#pragma once

#include "sim_options.h"

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

namespace dncsim
{

struct SimSummary {
    std::string end; // dc4, idle, timeout, closed, signal
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
    std::uint32_t crc32 = 0;
    std::vector<long> after_dc3; // bytes that arrived after each DC3, until its DC1
    long max_after_dc3 = 0;
    long overflow = 0;
    std::uint64_t sent = 0;

    std::string text() const; // the key=value lines printed at exit
    int exit_status() const;
};

// CRC-32 (IEEE 802.3, as zlib and `cksum -a crc32b` compute it), continued
// from `crc` over `size` bytes.
std::uint32_t crc32_update(std::uint32_t crc, const unsigned char *data, std::size_t size);

class SimSession
{
public:
    // `fd` is non-blocking; `stop` is raised by a signal handler.
    SimSession(const SimOptions &options, int fd, const volatile std::sig_atomic_t *stop);
    SimSession(const SimSession &) = delete;
    SimSession &operator=(const SimSession &) = delete;
    ~SimSession();

    SimSummary run();

private:
    void receive_byte(unsigned char byte, std::int64_t stamp);
    void send_control(unsigned char byte, std::int64_t now);
    void log_byte(const char *direction, unsigned char byte, std::int64_t stamp);
    bool run_actions(std::int64_t now, std::int64_t &deadline);

    const SimOptions &options_;
    const int fd_;
    const volatile std::sig_atomic_t *stop_;
    const std::int64_t char_ns_;
    std::int64_t t0_ = 0;
    std::FILE *output_ = nullptr;
    std::FILE *log_ = nullptr;
    SimSummary summary_;
    bool ended_ = false;

    // Input buffer of the control.
    double fill_ = 0;
    bool xoff_sent_ = false;
    long after_dc3_ = 0;

    // Sending: actions in order, DC3/DC1 from the server while sending.
    std::size_t action_ = 0;
    std::int64_t action_start_ = 0;
    std::size_t tx_pos_ = 0;
    std::int64_t tx_next_ = 0;
    bool server_xoff_ = false;
    std::string urgent_; // DC3/DC1 of the control, written before anything else
};

} // namespace dncsim
