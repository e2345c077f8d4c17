// Web remote throughput: clients on 127.0.0.1 ask STATUS over kept-alive
// connections while the UI thread's event loop answers the snapshots.
// Prints requests per second and latency percentiles.
//
// Usage: bench_remote_status [seconds=5] [connections=4]
// Targets: >= 5,000 requests/s, p99 < 10 ms on an idle machine.
#include "remote/remote_server.h"

#include <QCoreApplication>
#include <QTimer>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

class BenchHost : public dnc::RemoteHost
{
public:
    BenchHost()
    {
        snapshot_.machine_names = {"Mill", "Lathe", "Router"};
        dnc::RemoteMachineView m;
        m.status_text = QStringLiteral("COM1 Ready");
        m.default_extension = QStringLiteral(".nc");
        snapshot_.records = {m};
    }
    dnc::RemoteSnapshot remote_snapshot() override { return snapshot_; }
    std::atomic<bool> &remote_command_active() override { return active_; }
    void select_machine(int) override {}
    void change_machine() override {}
    bool is_sending(int) override { return false; }
    void set_global_filename(int, const QString &) override {}
    void clear(int) override {}
    void receive(int) override {}
    void send(int) override {}
    void binary_send(int) override {}
    bool load_editor_file(int, const QString &) override { return false; }
    void set_and_display_filename(int, const QString &) override {}
    void note(int, const QString &) override {}
    void show_ready_note(int) override {}
    int show_message(const QString &, const QString &body, int) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(body));
        return 0;
    }

private:
    dnc::RemoteSnapshot snapshot_;
    std::atomic<bool> active_{false};
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int connections = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;

    BenchHost host;
    dnc::RemoteServer server(host);
    server.set_bind_address(QStringLiteral("127.0.0.1"));
    if (!server.start(QStringLiteral("127.0.0.1"), 0))
        return 1;
    const int port = server.port();

    std::atomic<bool> running{true};
    std::vector<std::vector<double>> latencies(static_cast<size_t>(connections));
    std::atomic<long> failures{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < connections; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port);
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            auto &mine = latencies[static_cast<size_t>(c)];
            while (running) {
                const auto begin = Clock::now();
                const httplib::Result r = client.Get("/?command=STATUS&filename=O1000");
                const auto took = std::chrono::duration<double, std::milli>(Clock::now() - begin);
                if (!r || r->status != 200)
                    ++failures;
                mine.push_back(took.count());
            }
        });
    }
    QTimer::singleShot(seconds * 1000, &app, [&] {
        running = false;
        app.quit();
    });
    const auto begin = Clock::now();
    app.exec();
    // The clients finish their last request while nobody answers snapshots:
    // keep the loop turning until they are done.
    std::thread joiner([&] {
        for (std::thread &t : clients)
            t.join();
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    joiner.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();

    std::vector<double> all;
    for (const auto &l : latencies)
        all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    const auto pct = [&](double p) {
        return all.empty() ? 0.0
                           : all[std::min(all.size() - 1, static_cast<size_t>(p * all.size()))];
    };
    std::printf("remote STATUS on 127.0.0.1, %d kept-alive connections, %.1f s\n", connections,
                elapsed);
    std::printf("  requests: %zu (%ld failed)\n", all.size(), failures.load());
    std::printf("  requests/s: %.0f (target >= 5000)\n", static_cast<double>(all.size()) / elapsed);
    std::printf("  latency ms: p50 %.3f  p90 %.3f  p99 %.3f (target < 10)  max %.3f\n", pct(0.50),
                pct(0.90), pct(0.99), all.empty() ? 0.0 : all.back());
    server.stop();
    return 0;
}
