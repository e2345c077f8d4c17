// Many machines at once: 32 machines each send 1 MB over its own pseudo-
// terminal, read as fast as it goes, at the same time. Every byte must
// arrive; the wall time and the process's CPU time are reported.
//
// Usage: bench_send_scale [machines] [megabytes]   (default 32 and 1)
#include "send_bench.h"

#include <cstdlib>
#include <vector>

using namespace dnc;
using namespace dnc::bench;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int machines = argc > 1 ? std::atoi(argv[1]) : 32;
    const double megabytes = argc > 2 ? std::atof(argv[2]) : 1.0;
    const int lines = int(megabytes * 1e6 / 32);

    std::vector<std::unique_ptr<FastReader>> readers;
    QMap<int, QString> devices;
    for (int i = 0; i < machines; ++i) {
        readers.push_back(std::make_unique<FastReader>());
        devices.insert(i + 1, readers.back()->device());
    }
    BenchEngine bench(machines, 115200, HandshakeNone);
    bench.set_devices(devices);
    std::vector<QByteArray> expected;
    for (int i = 0; i < machines; ++i) {
        QStringList program = numbered_program(lines, 30);
        program.first() = QStringLiteral("O%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        expected.push_back(program_bytes(program));
        bench.set_program(i, program);
        bench.machine(i).record().send_char_or_line = 1;
    }

    const double cpu_before = process_cpu_seconds();
    const auto start = Clock::now();
    for (int i = 0; i < machines; ++i)
        frame_send(bench.machine(i));
    const bool done = run_until(
        [&] {
            for (int i = 0; i < machines; ++i) {
                if (readers[std::size_t(i)]->bytes() < expected[std::size_t(i)].size() ||
                    !bench.finished(i))
                    return false;
            }
            return true;
        },
        600);
    const double wall = seconds_since(start);
    const double cpu = process_cpu_seconds() - cpu_before;

    int exact = 0;
    long long total = 0;
    for (int i = 0; i < machines; ++i) {
        total += readers[std::size_t(i)]->bytes();
        if (readers[std::size_t(i)]->bytes() == expected[std::size_t(i)].size() &&
            readers[std::size_t(i)]->hash() == fnv1a(expected[std::size_t(i)]))
            ++exact;
    }
    std::printf("%d machines x %.1f MB by line: %s in %.2f s, %.2f MB/s in all, "
                "CPU %.2f s (%.0f%% of one core)\n",
                machines, megabytes, done ? "finished" : "NOT finished", wall, total / wall / 1e6,
                cpu, 100.0 * cpu / wall);
    std::printf("every byte arrived unchanged on %d of %d machines\n", exact, machines);
    return exact == machines ? 0 : 1;
}
