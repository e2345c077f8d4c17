// How fast a send goes when the line is no limit: a program of 1,000,000
// lines of 30 characters sent into a pseudo-terminal whose machine side is
// read as fast as it can, by line and by character, next to `cat` writing
// the same bytes into a pseudo-terminal.
//
// Usage: bench_send_throughput [lines]   (default 1000000)
// Targets: by line at least 200,000 lines/s; by character at least 1 MB/s.
#include "send_bench.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>

using namespace dnc;
using namespace dnc::bench;

namespace
{

struct Result {
    double seconds = 0;
    bool complete = false;
};

void print(const char *what, const Result &r, int lines, qint64 bytes, const char *target)
{
    if (!r.complete) {
        std::printf("%-10s did not complete\n", what);
        return;
    }
    std::printf("%-10s %9.0f lines/s  %7.2f MB/s  (%.2f s)%s\n", what, lines / r.seconds,
                bytes / r.seconds / 1e6, r.seconds, target);
}

Result run_cat(const QString &file, qint64 size)
{
    FastReader reader;
    QProcess cat;
    cat.setStandardOutputFile(reader.device());
    const auto start = Clock::now();
    cat.start(QStringLiteral("cat"), {file});
    Result r;
    r.complete = run_until([&] { return reader.bytes() >= size; }, 120);
    r.seconds = seconds_since(start);
    cat.waitForFinished(5000);
    return r;
}

Result run_send(const QStringList &program, const QByteArray &bytes, int by_line)
{
    FastReader reader;
    BenchEngine bench(1, 115200, HandshakeNone);
    bench.set_devices({{1, reader.device()}});
    bench.set_program(0, program);
    bench.machine(0).record().send_char_or_line = by_line;
    const auto start = Clock::now();
    frame_send(bench.machine(0));
    Result r;
    r.complete =
        run_until([&] { return reader.bytes() >= bytes.size() && bench.finished(0); }, 300);
    r.seconds = seconds_since(start);
    if (r.complete && reader.hash() != fnv1a(bytes)) {
        std::printf("the bytes that arrived differ from the program\n");
        r.complete = false;
    }
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const QStringList program = numbered_program(lines, 30);
    const QByteArray bytes = program_bytes(program);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("program.nc"));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return 1;
    out.close();

    std::printf("%d lines of 30 characters, %lld bytes, into a pty read as fast as it goes\n",
                lines, static_cast<long long>(bytes.size()));
    print("cat", run_cat(file, bytes.size()), lines, bytes.size(), "");
    print("by line", run_send(program, bytes, 1), lines, bytes.size(),
          "  target >= 200000 lines/s");
    print("by char", run_send(program, bytes, 0), lines, bytes.size(), "  target >= 1 MB/s");
    return 0;
}
