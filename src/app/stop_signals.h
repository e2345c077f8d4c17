// Turns SIGINT and SIGTERM into a Qt signal on the UI thread, so that the
// server closes in order (transfers stopped, ports closed, settings written)
// instead of dying mid-transfer. The signal handler only writes one byte to
// a pipe; a socket notifier on the other end reads it in the event loop.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace dnc
{

class StopSignals : public QObject
{
    Q_OBJECT
public:
    // Installs the handlers; only one object may exist at a time.
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override; // restores the previous handlers

    bool installed() const { return notifier_ != nullptr; }

signals:
    void stop_requested(int signal_number);

private:
    void drain();

    QSocketNotifier *notifier_ = nullptr;
};

} // namespace dnc
