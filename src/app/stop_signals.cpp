#include "app/stop_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace dnc
{

namespace
{

int g_pipe[2] = {-1, -1};
struct sigaction g_previous_int;
struct sigaction g_previous_term;

void on_stop_signal(int signal_number)
{
    const int saved_errno = errno;
    const unsigned char byte = static_cast<unsigned char>(signal_number);
    // A full pipe already holds a stop request; nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved_errno;
}

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_previous_int);
    sigaction(SIGTERM, &action, &g_previous_term);
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::drain);
}

StopSignals::~StopSignals()
{
    if (!notifier_)
        return;
    sigaction(SIGINT, &g_previous_int, nullptr);
    sigaction(SIGTERM, &g_previous_term, nullptr);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void StopSignals::drain()
{
    unsigned char bytes[16];
    const ssize_t count = ::read(g_pipe[0], bytes, sizeof bytes);
    if (count > 0)
        emit stop_requested(bytes[count - 1]);
}

} // namespace dnc
