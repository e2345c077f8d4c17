// Wall-clock and CPU time of a measured section, for the NC benchmarks. The
// CPU time is the fairer figure on a machine shared with builds.
#pragma once

#include <chrono>
#include <ctime>

namespace dnc::bench
{

class SectionTimer
{
public:
    SectionTimer() : wall_start_(std::chrono::steady_clock::now()), cpu_start_(cpu_now()) {}

    double wall_seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start_)
            .count();
    }
    double cpu_seconds() const { return cpu_now() - cpu_start_; }

private:
    static double cpu_now()
    {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    }

    std::chrono::steady_clock::time_point wall_start_;
    double cpu_start_;
};

} // namespace dnc::bench
