// How fast auto-serve answers: 200 get requests in a row from a control on a
// pseudo-terminal. For each: the time from the end of the request program
// until the server waits for the control's start signal, from the DC1 to
// the first byte of the answer, and from the end of the request to the
// first byte when the control gives DC1 as soon as the server waits.
//
// Usage: bench_receive_latency [cycles]   (default 200)
// Target: end of request to first byte below 20 ms (median).
#include "send_bench.h"

#include "engine/receiving.h"

#include <QTemporaryDir>
#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

using namespace dnc;
using namespace dnc::bench;

namespace
{

const QString kWaiting = QStringLiteral("M1: Waiting for Server Command");
const QString kRemoteStart = QStringLiteral("M1: Waiting For Remote Start");

// The headless front-end, counting the notes the control waits for.
class CountingWorkspace : public HeadlessWorkspace
{
public:
    explicit CountingWorkspace(std::FILE *sink) : HeadlessWorkspace(sink, sink) {}

    void note(int machine, const QString &text, NoteColour colour) override
    {
        const QString line = note_line(machine_name(machine), text);
        {
            std::lock_guard lock(mutex_);
            if (line == kWaiting)
                ++waiting_;
            else if (line == kRemoteStart)
                ++remote_start_;
        }
        changed_.notify_all();
        HeadlessWorkspace::note(machine, text, colour);
    }
    int waiting() const
    {
        std::lock_guard lock(mutex_);
        return waiting_;
    }
    int remote_start() const
    {
        std::lock_guard lock(mutex_);
        return remote_start_;
    }
    bool wait_for_waiting(int count)
    {
        return wait_for([&] { return waiting_ >= count; });
    }
    bool wait_for_remote_start(int count)
    {
        return wait_for([&] { return remote_start_ >= count; });
    }

private:
    bool wait_for(const std::function<bool()> &reached)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), reached);
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int waiting_ = 0;
    int remote_start_ = 0;
};

double ms_between(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void write_all(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
}

// Reads until DC4; returns when the first byte came (or nothing on time-out).
bool read_answer(int fd, qsizetype expected, Clock::time_point *first_byte)
{
    QByteArray got;
    char buf[4096];
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!got.contains('\x14') && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            continue;
        if (got.isEmpty())
            *first_byte = Clock::now();
        got.append(buf, n);
    }
    return got.size() == expected;
}

void report(const char *what, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%-32s median %7.2f ms   worst %7.2f ms\n", what, values[values.size() / 2],
                values.back());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    QTemporaryDir data;
    const QString folder = data.path() + QLatin1Char('/');
    QDir(folder).mkdir(QStringLiteral("progs"));
    const QStringList program = numbered_program(30, 30);
    QByteArray answer;
    for (const QString &line : program)
        answer += line.toLatin1() + "\r\n";
    answer += '\x14';
    QFile file(folder + QStringLiteral("progs/O1000.NC"));
    file.open(QIODevice::WriteOnly);
    for (const QString &line : program)
        file.write(line.toLatin1() + '\n');
    file.close();

    int master = -1;
    int slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    char name[256] = {};
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    std::FILE *sink = std::fopen("/dev/null", "w");
    CountingWorkspace workspace(sink);
    workspace.set_machines({QStringLiteral("M1")});
    auto engine = std::make_unique<Engine>(workspace);
    engine->set_port_map({{1, QString::fromLocal8Bit(name)}});
    engine->set_machine_count(1);
    MachineSettingsRecord &r = engine->machine(0).record();
    load_machine_settings(IniFile::from_bytes("[M1]\nCommPort=1\nCommBaudRate=115200\n"
                                              "CommDataBits=8\nCommParity=NONE\nCommStopBits=1\n"
                                              "CommHandshake=0\nAutoServe=1\nDefaultExt=NC\n"
                                              "DefaultDir=" +
                                              folder.toUtf8() + "progs/\n"),
                          QStringLiteral("M1"), folder, r);
    install_receiving(*engine, ReceivingOptions{folder, {}});
    open_all_ports({&engine->machine(0).port()});

    std::vector<double> to_ready;
    std::vector<double> dc1_to_first;
    std::vector<double> total;
    std::atomic<bool> done{false};
    bool complete = true;
    std::thread control([&] {
        for (int i = 0; i < cycles && complete; ++i) {
            const int starts = workspace.remote_start();
            write_all(master, "%\n(G*O1000)\n%\n\x14");
            const auto end_of_request = Clock::now();
            if (!workspace.wait_for_remote_start(starts + 1)) {
                complete = false;
                break;
            }
            const auto ready = Clock::now();
            const int waiting_before = workspace.waiting();
            write_all(master, "\x11");
            const auto dc1 = Clock::now();
            Clock::time_point first{};
            if (!read_answer(master, answer.size(), &first)) {
                complete = false;
                break;
            }
            to_ready.push_back(ms_between(end_of_request, ready));
            dc1_to_first.push_back(ms_between(dc1, first));
            total.push_back(ms_between(end_of_request, first));
            // The server waits for the next command before the control asks.
            if (!workspace.wait_for_waiting(waiting_before + 1)) {
                complete = false;
                break;
            }
        }
        done = true;
    });
    run_until([&] { return done.load(); }, 600);
    control.join();

    std::printf("auto-serve: %d get requests, answer of %d lines, 115200 baud XON/XOFF pty\n",
                int(total.size()), int(program.size()));
    if (!complete || total.empty()) {
        std::printf("did not complete (%d cycles done)\n", int(total.size()));
        return 1;
    }
    report("end of request -> waiting for DC1", to_ready);
    report("DC1 -> first byte of the answer", dc1_to_first);
    report("end of request -> first byte", total);
    std::printf("target: end of request -> first byte below 20 ms (median)\n");
    engine.reset();
    std::fclose(sink);
    ::close(master);
    ::close(slave);
    return 0;
}
