// How quickly a send stops when the machine sends XOFF (DC3), in the
// software XON/XOFF mode, and what a send costs while it waits for XON.
//
// 1. dnc-sim plays a control with a 256-byte buffer that it empties at half
//    the line speed, sending DC3 at 128 bytes and DC1 at 32, at 9600 and at
//    115200 baud. It counts the bytes that still arrive after each DC3.
//    Target: at most 10 at 9600 (goal: 5); as few as the line allows at
//    115200.
// 2. A send held by DC3 for 10 s: the CPU the process uses meanwhile.
//    Target: below 1% of a core.
//
// Usage: bench_send_xoff [seconds per run]   (default 5)
#include "../tools/dnc-sim/sim_process.h"
#include "send_bench.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace dnc;
using namespace dnc::bench;

namespace
{

// The simulated control stands for hardware, which is never late: with
// root rights it runs with real-time priority, so that its own lateness on a
// busy computer is not counted against the server.
bool start_sim(dncsim::SimProcess &sim, const QStringList &arguments, bool *real_time)
{
    *real_time = geteuid() == 0 && QFileInfo::exists(QStringLiteral("/usr/bin/chrt"));
    if (*real_time &&
        sim.start(QStringList{"-f", "50", dncsim::SimProcess::default_program()} + arguments,
                  QStringLiteral("/usr/bin/chrt")))
        return true;
    *real_time = false;
    return sim.start(arguments);
}

bool xoff_response(int baud, double seconds)
{
    const int exec_rate = baud / 20;
    dncsim::SimProcess sim;
    bool real_time = false;
    if (!start_sim(sim,
                   {"--baud", QString::number(baud), "--buffer", "256", "--high", "128", "--low",
                    "32", "--exec-rate", QString::number(exec_rate), "--timeout", "300"},
                   &real_time)) {
        std::printf("cannot start dnc-sim (%s)\n",
                    qPrintable(dncsim::SimProcess::default_program()));
        return false;
    }
    BenchEngine bench(1, baud, HandshakeXonXoff);
    bench.set_devices({{1, sim.device()}});
    const int lines = std::max(10, int(exec_rate * seconds / 32));
    bench.set_program(0, numbered_program(lines, 30));
    frame_send(bench.machine(0));
    const bool sent = run_until([&] { return bench.finished(0); }, 300);
    if (!sent || !sim.wait_finished(30000)) {
        std::printf("%6d baud: the send did not finish\n", baud);
        return false;
    }
    std::vector<long> after;
    for (const QString &n : sim.value("after_dc3").split(QLatin1Char(','), Qt::SkipEmptyParts))
        after.push_back(n.toLong());
    std::sort(after.begin(), after.end());
    const auto at = [&](double q) {
        return after.empty() ? 0L : after[std::size_t(q * double(after.size() - 1))];
    };
    std::printf("%6d baud: %lld bytes, %zu DC3; bytes after a DC3: median %ld, 90%% %ld, "
                "max %ld; overflow %lld%s\n",
                baud, sim.number("bytes"), after.size(), at(0.5), at(0.9), at(1.0),
                sim.number("overflow"), real_time ? "" : " (simulator without real-time priority)");
    return sim.number("overflow") == 0;
}

bool waiting_cpu()
{
    FastReader reader;
    BenchEngine bench(1, 9600, HandshakeXonXoff);
    bench.set_devices({{1, reader.device()}});
    bench.set_program(0, numbered_program(10000, 30));
    frame_send(bench.machine(0));
    if (!run_until([&] { return reader.bytes() > 100; }, 10))
        return false;
    const char xoff = 0x13;
    if (::write(reader.master_fd(), &xoff, 1) != 1)
        return false;
    run_until([] { return false; }, 0.2);
    const long long held_at = reader.bytes();
    const double cpu_before = process_cpu_seconds();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double cpu = process_cpu_seconds() - cpu_before;
    const double wall = seconds_since(start);
    const long long moved = reader.bytes() - held_at;
    std::printf("held by DC3 for %.1f s: %.3f%% of a core, %lld bytes moved meanwhile "
                "(target < 1%%)\n",
                wall, 100.0 * cpu / wall, moved);
    bench.machine(0).sender().cancel();
    run_until([&] { return bench.finished(0); }, 5);
    return moved == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    bool ok = true;
    for (int baud : {9600, 115200})
        ok = xoff_response(baud, seconds) && ok;
    ok = waiting_cpu() && ok;
    return ok ? 0 : 1;
}
