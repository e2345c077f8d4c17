// How fast the device line writes a program into a pseudo-terminal whose
// other end reads as fast as it can, compared with `cat` writing the same
// file into a pseudo-terminal in the same run.
//
// Usage: bench_serial_write [megabytes] [rounds]   (default 10 MB, 3 rounds)
// Prints the throughput of cat, of the line written line by line (as a
// send by line does) and in 64 KB blocks, and the line-by-line / cat ratio
// (target: at least 0.8). The three are measured in turn, round after
// round, and the best round of each is shown, so that other work on the
// machine disturbs the comparison as little as possible.
#include "comm/device_serial_line.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace
{

using clock_type = std::chrono::steady_clock;

// A raw pseudo-terminal whose master side is read flat out by a thread.
class DrainedPty
{
public:
    DrainedPty()
    {
        termios raw{};
        cfmakeraw(&raw);
        char name[128] = {};
        if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        slave_path_ = name;
    }
    ~DrainedPty()
    {
        ::close(master_);
        ::close(slave_);
    }
    const char *slave_path() const { return slave_path_.c_str(); }

    // Runs `write` while the master side is drained; returns the seconds
    // from the start until `expected` bytes arrived.
    double time(qint64 expected, const std::function<void()> &write)
    {
        std::atomic<qint64> got{0};
        std::thread reader([&] {
            static char buffer[1 << 16];
            while (got < expected) {
                pollfd p{master_, POLLIN, 0};
                if (::poll(&p, 1, 1000) <= 0)
                    break;
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                got += n;
            }
        });
        const auto start = clock_type::now();
        write();
        reader.join();
        const double seconds = std::chrono::duration<double>(clock_type::now() - start).count();
        if (got != expected) {
            std::fprintf(stderr, "only %lld of %lld bytes arrived\n", (long long)got.load(),
                         (long long)expected);
            std::exit(1);
        }
        return seconds;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slave_path_;
};

QByteArray make_program(qint64 bytes)
{
    QByteArray program;
    program.reserve(bytes + 64);
    for (int n = 1; program.size() < bytes; ++n)
        program += QByteArray("N") + QByteArray::number(n) + " G01 X" +
                   QByteArray::number(n % 1000) + ".125 Y-" + QByteArray::number(n % 777) +
                   ".5 F1200\r\n";
    program.truncate(bytes);
    return program;
}

} // namespace

int main(int argc, char **argv)
{
    const qint64 megabytes = argc > 1 ? std::atoll(argv[1]) : 10;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const QByteArray program = make_program(megabytes << 20);
    QTemporaryDir dir;
    const QString file = dir.filePath("program.nc");
    {
        FILE *out = std::fopen(file.toLocal8Bit().constData(), "wb");
        std::fwrite(program.constData(), 1, size_t(program.size()), out);
        std::fclose(out);
    }
    const double mb = double(program.size()) / (1 << 20);

    auto time_cat = [&] {
        DrainedPty pty;
        const std::string command =
            "cat '" + file.toStdString() + "' > " + std::string(pty.slave_path());
        return pty.time(program.size(), [&] {
            if (std::system(command.c_str()) != 0)
                std::exit(1);
        });
    };
    auto time_line = [&](qsizetype block) {
        DrainedPty pty;
        dnc::DeviceSerialLine line;
        dnc::SerialConfig config;
        config.device = QString::fromLocal8Bit(pty.slave_path());
        config.baud = 115200;
        QString error;
        if (!line.open(config, &error)) {
            std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
            std::exit(1);
        }
        return pty.time(program.size(), [&] {
            qsizetype at = 0;
            while (at < program.size()) {
                qsizetype end = block > 0 ? std::min(at + block, program.size())
                                          : program.indexOf('\n', at) + 1;
                if (end <= 0)
                    end = program.size();
                line.write(program.constData() + at, end - at);
                at = end;
            }
        });
    };
    double cat_seconds = 1e9, by_line = 1e9, by_block = 1e9;
    for (int round = 0; round < rounds; ++round) {
        cat_seconds = std::min(cat_seconds, time_cat());
        by_line = std::min(by_line, time_line(0));
        by_block = std::min(by_block, time_line(1 << 16));
    }

    std::printf("serial_write: %.1f MB into a pseudo-terminal, best of %d rounds\n", mb, rounds);
    std::printf("  cat                 %8.1f MB/s\n", mb / cat_seconds);
    std::printf("  line, by line       %8.1f MB/s\n", mb / by_line);
    std::printf("  line, 64 KB blocks  %8.1f MB/s\n", mb / by_block);
    std::printf("  ratio by line / cat %8.2f (target >= 0.80)\n", cat_seconds / by_line);
    return 0;
}
