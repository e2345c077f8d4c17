// How fast a receive goes when the line is no limit: a program of 1,000,000
// lines of 30 characters written into a pseudo-terminal as fast as it takes
// them, received into the headless editor model and, as a direct receive,
// straight into a file.
//
// Usage: bench_receive_throughput [lines]   (default 1000000)
// Target: at least 100,000 lines/s into the headless editor model.
#include "send_bench.h"

#include "engine/receiving.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>

using namespace dnc;
using namespace dnc::bench;

namespace
{

// The machine side: writes the whole program into the pty's master end.
void machine_sends(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
}

struct Result {
    double seconds = 0;
    bool complete = false;
};

void print(const char *what, const Result &r, int lines, qint64 bytes, const char *target)
{
    if (!r.complete) {
        std::printf("%-14s did not complete\n", what);
        return;
    }
    std::printf("%-14s %9.0f lines/s  %7.2f MB/s  (%.2f s)%s\n", what, lines / r.seconds,
                bytes / r.seconds / 1e6, r.seconds, target);
}

Result run_receive(const QByteArray &bytes, int lines, const QString &direct_file)
{
    FastReader line;
    BenchEngine bench(1, 115200, HandshakeNone);
    QTemporaryDir data;
    const auto receiving =
        install_receiving(bench.engine(), ReceivingOptions{data.path() + QLatin1Char('/'), {}});
    bench.set_devices({{1, line.device()}});
    Machine &machine = bench.machine(0);
    if (direct_file.isEmpty())
        receiving->receive_start(machine);
    else
        receiving->start_direct_receive(machine, direct_file);

    const auto start = Clock::now();
    std::thread control([&] { machine_sends(line.master_fd(), bytes); });
    Result r;
    r.complete = run_until(
        [&] {
            if (!direct_file.isEmpty())
                return !machine.record().direct_file.load();
            return !machine.record().receiving_flag &&
                   bench.workspace().editor(0)->line_count() >= lines;
        },
        300);
    r.seconds = seconds_since(start);
    control.join();
    if (direct_file.isEmpty())
        r.complete = r.complete && bench.workspace().editor(0)->line_count() == lines;
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000000;
    QByteArray bytes;
    for (const QString &line : numbered_program(lines, 30))
        bytes += line.toLatin1() + '\n';
    const qint64 program_size = bytes.size();
    bytes += '\x14';
    std::printf("receive: %d lines of 30 characters, %.1f MB, unlimited line speed\n", lines,
                program_size / 1e6);

    print("editor model", run_receive(bytes, lines, QString()), lines, program_size,
          "  target >= 100000 lines/s");
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("direct.nc"));
    const Result direct = run_receive(bytes, lines, file);
    print("direct file", direct, lines, program_size, "");
    if (direct.complete && QFileInfo(file).size() != program_size)
        std::printf("direct file: %lld bytes written, %lld expected\n",
                    static_cast<long long>(QFileInfo(file).size()),
                    static_cast<long long>(program_size));
    return 0;
}
