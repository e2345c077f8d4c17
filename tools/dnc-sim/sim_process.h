// Runs dnc-sim as a child process for tests and benchmarks: starts it, reads
// the device it names, waits for it to end and parses its summary.
// Header-only (QtCore), so a benchmark can use it without a test library.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace dncsim
{

class SimProcess
{
public:
    SimProcess() = default;
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;
    ~SimProcess()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }

    // The simulator of the build: $DNC_SIM, else
    // $DNC_BUILD_DIR/tools/dnc-sim/dnc-sim, else tools/dnc-sim/dnc-sim in
    // the running program's folder or a folder above it.
    static QString default_program()
    {
        const QString sim = qEnvironmentVariable("DNC_SIM");
        if (!sim.isEmpty())
            return sim;
        const QString build = qEnvironmentVariable("DNC_BUILD_DIR");
        if (!build.isEmpty())
            return build + QStringLiteral("/tools/dnc-sim/dnc-sim");
        QDir dir(QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                              : QDir::currentPath());
        for (int up = 0; up < 4; ++up) {
            const QString candidate = dir.filePath(QStringLiteral("tools/dnc-sim/dnc-sim"));
            if (QFileInfo::exists(candidate))
                return candidate;
            if (!dir.cdUp())
                break;
        }
        return QStringLiteral("dnc-sim");
    }

    // Starts the simulator and waits for its "device=" line.
    bool start(const QStringList &arguments, const QString &program = default_program(),
               int timeout_ms = 5000)
    {
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(program, arguments);
        if (!process_.waitForStarted(timeout_ms))
            return false;
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(timeout_ms))
                return false;
        }
        const QString line = QString::fromLocal8Bit(process_.readLine()).trimmed();
        if (!line.startsWith(QStringLiteral("device=")))
            return false;
        device_ = line.mid(7);
        return true;
    }

    QString device() const { return device_; }

    // Waits for the simulator to end and reads its summary.
    bool wait_finished(int timeout_ms)
    {
        if (!process_.waitForFinished(timeout_ms))
            return false;
        const QStringList lines =
            QString::fromLocal8Bit(process_.readAllStandardOutput()).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq > 0)
                summary_.insert(line.left(eq), line.mid(eq + 1).trimmed());
        }
        return true;
    }

    // Asks the simulator to end now (it still prints its summary).
    void stop() { process_.terminate(); }

    QMap<QString, QString> summary() const { return summary_; }
    QString value(const QString &key) const { return summary_.value(key); }
    qint64 number(const QString &key) const { return summary_.value(key).toLongLong(); }
    int exit_code() const { return process_.exitCode(); }
    QString errors() { return QString::fromLocal8Bit(process_.readAllStandardError()); }

private:
    QProcess process_;
    QString device_;
    QMap<QString, QString> summary_;
};

} // namespace dncsim
