// dnc-sim: a CNC control on a pseudo-terminal or TCP port, for tests,
// benchmarks and the demo. See --help.
#include "sim_endpoint.h"
#include "sim_options.h"
#include "sim_session.h"

#include <csignal>
#include <cstdio>

namespace
{

volatile std::sig_atomic_t g_stop = 0;

void on_signal(int)
{
    g_stop = 1;
}

} // namespace

int main(int argc, char **argv)
{
    dncsim::SimOptions options;
    std::string error;
    bool help = false;
    if (!dncsim::parse_sim_options(argc, argv, options, error, help)) {
        std::fprintf(stderr, "dnc-sim: %s\n", error.c_str());
        return 2;
    }
    if (help) {
        std::fputs(dncsim::sim_usage().c_str(), stdout);
        return 0;
    }

    struct sigaction sa {
    };
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    dncsim::SimEndpoint line;
    const bool opened = options.tcp_port >= 0
                            ? line.listen_tcp(options.bind, options.tcp_port, error)
                            : line.open_pty(options.link, error);
    if (!opened) {
        std::fprintf(stderr, "dnc-sim: %s\n", error.c_str());
        return 2;
    }
    std::printf("device=%s\n", line.device().c_str());
    std::fflush(stdout);

    if (line.is_tcp()) {
        const int wait_ms = options.timeout_s > 0 ? int(options.timeout_s * 1000) : -1;
        if (!line.accept_connection(wait_ms, error)) {
            std::fprintf(stderr, "dnc-sim: %s\n", error.c_str());
            std::printf("end=%s\n", g_stop ? "signal" : "timeout");
            return 3;
        }
    }

    dncsim::SimSession session(options, line.fd(), &g_stop);
    const dncsim::SimSummary summary = session.run();
    std::fputs(summary.text().c_str(), stdout);
    return summary.exit_status();
}
