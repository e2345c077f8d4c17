#include "sim_session.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace dncsim
{

namespace
{

constexpr unsigned char DC1 = 0x11;
constexpr unsigned char DC3 = 0x13;
constexpr unsigned char DC4 = 0x14;
constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kNever = INT64_MAX;

std::int64_t now_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::array<std::uint32_t, 256> make_crc_table()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

} // namespace

std::uint32_t crc32_update(std::uint32_t crc, const unsigned char *data, std::size_t size)
{
    static const auto table = make_crc_table();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xff] ^ (crc >> 8);
    return ~crc;
}

std::string SimSummary::text() const
{
    std::string list;
    for (std::size_t i = 0; i < after_dc3.size(); ++i) {
        if (i)
            list += ',';
        list += std::to_string(after_dc3[i]);
    }
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08" PRIx32, crc32);
    return "end=" + end + "\nbytes=" + std::to_string(bytes) + "\nlines=" + std::to_string(lines) +
           "\ncrc32=" + crc + "\ndc3_sent=" + std::to_string(after_dc3.size()) +
           "\nmax_after_dc3=" + std::to_string(max_after_dc3) + "\nafter_dc3=" + list +
           "\noverflow=" + std::to_string(overflow) + "\nsent=" + std::to_string(sent) + "\n";
}

int SimSummary::exit_status() const
{
    if (end == "timeout")
        return 3;
    if (overflow > 0)
        return 4;
    return bytes > 0 ? 0 : 1;
}

SimSession::SimSession(const SimOptions &options, int fd, const volatile std::sig_atomic_t *stop)
    : options_(options), fd_(fd), stop_(stop),
      char_ns_(options.baud > 0 ? std::int64_t(options.bits_per_char) * 1'000'000'000 / options.baud
                                : 0)
{
    if (!options.output.empty())
        output_ = std::fopen(options.output.c_str(), "wb");
    if (!options.log.empty())
        log_ = std::fopen(options.log.c_str(), "w");
}

SimSession::~SimSession()
{
    if (output_)
        std::fclose(output_);
    if (log_)
        std::fclose(log_);
}

void SimSession::log_byte(const char *direction, unsigned char byte, std::int64_t stamp)
{
    if (log_)
        std::fprintf(log_, "%" PRId64 " %s %02x\n", (stamp - t0_) / 1000, direction, byte);
}

void SimSession::receive_byte(unsigned char byte, std::int64_t stamp)
{
    if (output_)
        std::fputc(byte, output_);
    log_byte("rx", byte, stamp);
    summary_.crc32 = crc32_update(summary_.crc32, &byte, 1);
    ++summary_.bytes;
    if (byte == '\n')
        ++summary_.lines;
    if (xoff_sent_)
        ++after_dc3_;

    // While the control sends, DC3/DC1 from the server pause and resume it.
    if (action_ < options_.actions.size() &&
        options_.actions[action_].kind == SimAction::SendBytes) {
        if (byte == DC3)
            server_xoff_ = true;
        else if (byte == DC1)
            server_xoff_ = false;
    }

    if (options_.buffer > 0) {
        if (fill_ >= double(options_.buffer))
            ++summary_.overflow;
        else
            fill_ += 1;
        if (!xoff_sent_ && fill_ >= double(options_.high)) {
            send_control(DC3, stamp);
            xoff_sent_ = true;
            after_dc3_ = 0;
        }
    }
    if (byte == DC4 && options_.end_on_dc4) {
        summary_.end = "dc4";
        ended_ = true;
    }
}

void SimSession::send_control(unsigned char byte, std::int64_t now)
{
    urgent_ += static_cast<char>(byte);
    log_byte("tx", byte, now);
    ++summary_.sent;
}

// Runs the actions that are due; returns true when all are done. `deadline`
// becomes the time the current action next needs attention.
bool SimSession::run_actions(std::int64_t now, std::int64_t &deadline)
{
    while (action_ < options_.actions.size()) {
        const SimAction &a = options_.actions[action_];
        if (a.kind == SimAction::Sleep) {
            const std::int64_t until = action_start_ + a.ms * kMs;
            if (now < until) {
                deadline = std::min(deadline, until);
                return false;
            }
        } else if (a.kind == SimAction::Dc1) {
            send_control(DC1, now);
        } else if (tx_pos_ < a.data.size()) {
            if (server_xoff_)
                return false; // the server's DC1 arrives through receiving
            std::size_t count = a.data.size() - tx_pos_;
            if (char_ns_ > 0) {
                if (tx_next_ < now - char_ns_)
                    tx_next_ = now - char_ns_; // the line was idle
                if (now < tx_next_) {
                    deadline = std::min(deadline, tx_next_);
                    return false;
                }
                count = std::min<std::size_t>(count, 1 + (now - tx_next_) / char_ns_);
            }
            const ssize_t n = ::write(fd_, a.data.data() + tx_pos_, count);
            if (n > 0) {
                for (ssize_t i = 0; i < n; ++i)
                    log_byte("tx", static_cast<unsigned char>(a.data[tx_pos_ + i]), now);
                tx_pos_ += std::size_t(n);
                summary_.sent += std::uint64_t(n);
                tx_next_ += n * char_ns_;
            }
            if (tx_pos_ < a.data.size()) {
                deadline = std::min(deadline, char_ns_ > 0 ? tx_next_ : now + kMs);
                return false;
            }
        }
        ++action_;
        action_start_ = now;
        tx_pos_ = 0;
        tx_next_ = now;
        server_xoff_ = false;
    }
    return true;
}

SimSummary SimSession::run()
{
    t0_ = now_ns();
    if (log_)
        std::fprintf(log_, "# start %" PRId64 " us on the monotonic clock\n", t0_ / 1000);
    action_start_ = t0_;
    tx_next_ = t0_;
    std::int64_t fill_time = t0_;
    std::int64_t wire_rx = t0_; // emulated time the last received byte was complete
    bool rx_idle = true;        // nothing known to wait in the pty
    std::int64_t last_activity = t0_;
    bool actions_done = false;
    const std::int64_t timeout_at =
        options_.timeout_s > 0 ? t0_ + std::int64_t(options_.timeout_s * 1e9) : kNever;
    unsigned char buf[65536];

    while (!ended_) {
        std::int64_t now = now_ns();
        if (*stop_) {
            summary_.end = "signal";
            break;
        }
        if (now >= timeout_at) {
            summary_.end = "timeout";
            break;
        }

        // The control executes from its buffer at its own pace.
        if (options_.buffer > 0) {
            fill_ = std::max(0.0, fill_ - double(now - fill_time) * options_.exec_rate / 1e9);
            fill_time = now;
        }

        // Receive what the emulated line has carried since the last look.
        if (!rx_idle || char_ns_ == 0) {
            std::size_t budget = sizeof buf;
            if (char_ns_ > 0)
                budget = std::min<std::size_t>(budget, std::size_t((now - wire_rx) / char_ns_));
            if (budget > 0) {
                const ssize_t n = ::read(fd_, buf, budget);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)) {
                    summary_.end = "closed";
                    break;
                }
                const std::size_t got = n > 0 ? std::size_t(n) : 0;
                for (std::size_t i = 0; i < got && !ended_; ++i)
                    receive_byte(buf[i],
                                 char_ns_ > 0 ? wire_rx + std::int64_t(i + 1) * char_ns_ : now);
                if (got > 0)
                    last_activity = now;
                if (char_ns_ > 0) {
                    wire_rx += std::int64_t(got) * char_ns_;
                    if (got < budget) {
                        rx_idle = true;
                        wire_rx = now;
                    }
                } else if (got == 0) {
                    rx_idle = true;
                }
            }
        }

        if (options_.buffer > 0 && xoff_sent_ && fill_ <= double(options_.low)) {
            summary_.after_dc3.push_back(after_dc3_);
            summary_.max_after_dc3 = std::max(summary_.max_after_dc3, after_dc3_);
            xoff_sent_ = false;
            send_control(DC1, now);
        }

        std::int64_t deadline = timeout_at;
        if (!actions_done) {
            actions_done = run_actions(now, deadline);
            if (actions_done)
                last_activity = now;
        }

        while (!urgent_.empty()) {
            const ssize_t n = ::write(fd_, urgent_.data(), urgent_.size());
            if (n <= 0)
                break;
            urgent_.erase(0, std::size_t(n));
        }
        if (ended_)
            break;

        if (actions_done) {
            const std::int64_t idle_end = last_activity + options_.idle_ms * kMs;
            if (now >= idle_end) {
                summary_.end = "idle";
                break;
            }
            deadline = std::min(deadline, idle_end);
        }
        if (!rx_idle && char_ns_ > 0)
            deadline = std::min(deadline, wire_rx + char_ns_);
        if (options_.buffer > 0 && xoff_sent_)
            deadline = std::min(
                deadline,
                now + std::int64_t((fill_ - double(options_.low)) / options_.exec_rate * 1e9) +
                    1000);
        if (!urgent_.empty())
            deadline = std::min(deadline, now + kMs);

        const std::int64_t wait = std::max<std::int64_t>(0, deadline - now_ns());
        if (rx_idle) {
            // Sleep until data arrive or the next deadline; poll's millisecond
            // timeout is refined by a short nanosleep for sub-millisecond waits.
            pollfd p{fd_, POLLIN, 0};
            const int ms = wait >= kMs ? int(std::min<std::int64_t>(wait / kMs, 1000)) : 0;
            const int ready = ::poll(&p, 1, ms);
            if (ready > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
                rx_idle = false;
                if (char_ns_ > 0)
                    wire_rx = now_ns();
            } else if (ms == 0 && wait > 0) {
                const timespec ts{0, long(wait)};
                nanosleep(&ts, nullptr);
            }
        } else if (wait > 0) {
            const timespec ts{time_t(wait / 1'000'000'000), long(wait % 1'000'000'000)};
            nanosleep(&ts, nullptr);
        }
    }

    if (xoff_sent_) {
        summary_.after_dc3.push_back(after_dc3_);
        summary_.max_after_dc3 = std::max(summary_.max_after_dc3, after_dc3_);
    }
    if (output_)
        std::fflush(output_);
    if (log_)
        std::fflush(log_);
    return summary_;
}

} // namespace dncsim
