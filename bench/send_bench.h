// What the send benchmarks share: an engine with the headless front-end,
// machines set to a plain 8N1 line, programs of numbered lines, pseudo-
// terminals read as fast as they go, and the process's CPU time.
#pragma once

#include "app/headless_workspace.h"
#include "config/ini_file.h"
#include "config/settings_io.h"
#include "engine/engine.h"
#include "engine/frame_actions.h"
#include "engine/machine.h"
#include "engine/send_engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace dnc::bench
{

using Clock = std::chrono::steady_clock;

inline double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time (user + system) of this process so far, in seconds.
inline double process_cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs this thread's Qt events until `done`; false after `timeout_s`.
inline bool run_until(const std::function<bool()> &done, double timeout_s)
{
    const auto start = Clock::now();
    while (!done()) {
        if (seconds_since(start) > timeout_s)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// `count` lines of exactly `width` characters (CR LF is added on the line).
inline QStringList numbered_program(int count, int width)
{
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        QString line = QStringLiteral("N%1 G01 X%2 Y%3").arg(i).arg(i % 1000).arg(i % 97);
        line = line.leftJustified(width, QLatin1Char('0'), true);
        lines << line;
    }
    return lines;
}

// An engine with `machines` machines on the headless front-end (its notes go
// to /dev/null), each set to 8N1 at `baud` with `handshake`, no wait for the
// machine's signal and no port restart before a send.
class BenchEngine
{
public:
    BenchEngine(int machines, int baud, int handshake)
        : null_(std::fopen("/dev/null", "w")), workspace_(null_, null_)
    {
        QStringList names;
        for (int i = 0; i < machines; ++i)
            names << QStringLiteral("M%1").arg(i + 1);
        workspace_.set_machines(names);
        engine_ = std::make_unique<Engine>(workspace_);
        engine_->set_machine_count(machines);
        for (int i = 0; i < machines; ++i) {
            MachineSettingsRecord &r = engine_->machine(i).record();
            load_machine_settings(IniFile::from_bytes("[M]\n"), QStringLiteral("M"),
                                  QDir::tempPath(), r);
            r.comm_port = i + 1;
            r.comm_baud_rate = baud;
            r.comm_data_bits = 8;
            r.comm_parity = QLatin1Char('N');
            r.comm_stop_bits = 1;
            r.comm_handshake = handshake;
            r.WaitForSignalChecked = false;
            r.always_init_comm = false;
            r.SendChar20 = true;
        }
    }
    ~BenchEngine()
    {
        engine_.reset();
        std::fclose(null_);
    }

    Engine &engine() { return *engine_; }
    Machine &machine(int i) { return engine_->machine(i); }
    HeadlessWorkspace &workspace() { return workspace_; }

    void set_devices(const QMap<int, QString> &devices) { engine_->set_port_map(devices); }
    void set_program(int i, const QStringList &lines) { workspace_.editor(i)->set_lines(lines); }
    bool finished(int i)
    {
        return !machine(i).record().punching && !machine(i).sender().worker_running();
    }

private:
    std::FILE *null_;
    HeadlessWorkspace workspace_;
    std::unique_ptr<Engine> engine_;
};

// A raw pseudo-terminal whose machine side a thread reads as fast as it can.
class FastReader
{
public:
    FastReader()
    {
        termios raw{};
        cfmakeraw(&raw);
        char name[256] = {};
        if (openpty(&master_, &slave_, name, &raw, nullptr) == 0) {
            device_ = QString::fromLocal8Bit(name);
            fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~FastReader()
    {
        stop_ = true;
        thread_.join();
        ::close(master_);
        ::close(slave_);
    }
    FastReader(const FastReader &) = delete;
    FastReader &operator=(const FastReader &) = delete;

    QString device() const { return device_; }
    int master_fd() const { return master_; }
    long long bytes() const { return bytes_; }
    // FNV-1a of everything read, to see that every byte arrived unchanged.
    unsigned long long hash() const { return hash_; }
    void reset()
    {
        bytes_ = 0;
        hash_ = kFnvBasis;
    }

private:
    static constexpr unsigned long long kFnvBasis = 1469598103934665603ULL;
    void run()
    {
        char buf[65536];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                continue;
            unsigned long long h = hash_;
            for (ssize_t i = 0; i < n; ++i)
                h = (h ^ (unsigned char)buf[i]) * 1099511628211ULL;
            hash_ = h;
            bytes_ += n;
        }
    }

    int master_ = -1;
    int slave_ = -1;
    QString device_;
    std::atomic<bool> stop_{false};
    std::atomic<long long> bytes_{0};
    std::atomic<unsigned long long> hash_{kFnvBasis};
    std::thread thread_;
};

// FNV-1a of a byte string, as FastReader computes it.
inline unsigned long long fnv1a(const QByteArray &bytes)
{
    unsigned long long h = 1469598103934665603ULL;
    for (const char c : bytes)
        h = (h ^ (unsigned char)c) * 1099511628211ULL;
    return h;
}

// The bytes a program of ASCII lines with CR LF and a final DC4 becomes.
inline QByteArray program_bytes(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes + '\x14';
}

} // namespace dnc::bench
