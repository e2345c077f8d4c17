// The headless server as a process, serving two machines over
// pseudo-terminals: it opens every machine's port, an auto-serve machine
// waits for its control's requests and answers them until the server is
// stopped.
#include "support/pty_pair.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace dnc::test
{
namespace
{

constexpr int kTimeoutMs = 10000;

class HeadlessServer
{
public:
    explicit HeadlessServer(const QString &data_folder)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime_.path());
        process_.setProcessEnvironment(environment);
        process_.start(qEnvironmentVariable("DNC_BUILD_DIR") + "/src/app/dncserver",
                       {"--headless", "--data-dir", data_folder});
    }
    ~HeadlessServer()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(kTimeoutMs);
        }
    }

    // Waits for a line of standard output (a note is "<machine>: <text>").
    bool wait_for_line(const QString &line)
    {
        const QDeadlineTimer deadline(kTimeoutMs);
        while (!output_.contains(line + "\n")) {
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
                return false;
            process_.waitForReadyRead(10);
            output_ += QString::fromUtf8(process_.readAllStandardOutput());
        }
        return true;
    }
    int count(const QString &line) const { return int(output_.count(line + "\n")); }
    bool wait_for_count(const QString &line, int n)
    {
        const QDeadlineTimer deadline(kTimeoutMs);
        while (count(line) < n) {
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
                return false;
            process_.waitForReadyRead(10);
            output_ += QString::fromUtf8(process_.readAllStandardOutput());
        }
        return true;
    }
    int stop()
    {
        ::kill(pid_t(process_.processId()), SIGTERM);
        process_.waitForFinished(kTimeoutMs);
        output_ += QString::fromUtf8(process_.readAllStandardOutput());
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    const QString &output() const { return output_; }

private:
    QTemporaryDir runtime_;
    QProcess process_;
    QString output_;
};

QByteArray read_until_dc4(PtyPair &pty)
{
    QByteArray got;
    const QDeadlineTimer deadline(kTimeoutMs);
    while (!got.contains('\x14') && !deadline.hasExpired())
        got += pty.read_for(10);
    return got;
}

TEST(RequestHeadless, ServesEveryAutoServeMachineUntilStopped)
{
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DNC_BUILD_DIR"))
        << "run through ctest, or set DNC_BUILD_DIR to the build folder";
    QTemporaryDir data;
    PtyPair mill;
    PtyPair lathe;
    const QString folder = data.path() + "/";
    QDir(folder).mkdir("progs");
    const QByteArray program = "%\nO1000\nG01 X1.\nM30\n%\n";
    QFile file(folder + "progs/O1000.NC");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(program);
    file.close();
    const QByteArray line = "CommBaudRate=115200\nCommDataBits=8\nCommParity=NONE\n"
                            "CommStopBits=1\nCommHandshake=0\nEOB=2\n";
    QFile ini(folder + "DNC.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[DUREravur]\nMultiInstance=1\nCom1=" + mill.slave_path().toUtf8() +
              "\nCom2=" + lathe.slave_path().toUtf8() + "\n[Mill]\nCommPort=1\n" + line +
              "AutoServe=1\nDefaultExt=NC\nDefaultDir=" + folder.toUtf8() +
              "progs/\nDefaultSaveDir=" + folder.toUtf8() + "progs/\n[Lathe]\nCommPort=2\n" + line);
    ini.close();

    HeadlessServer server(folder);
    ASSERT_TRUE(server.wait_for_line("Mill: Waiting for Server Command"))
        << server.output().toStdString();
    ASSERT_TRUE(server.wait_for_line("Lathe: COM2 Ready")) << server.output().toStdString();

    // A get request, answered at the control's DC1.
    mill.send("%\n(G*O1000)\n%\n\x14");
    ASSERT_TRUE(server.wait_for_line("Mill: Waiting For Remote Start"));
    const int waiting = server.count("Mill: Waiting for Server Command");
    mill.send("\x11");
    EXPECT_EQ(read_until_dc4(mill), program + "\x14");
    ASSERT_TRUE(server.wait_for_count("Mill: Waiting for Server Command", waiting + 1));

    // A save request and the program that follows.
    mill.send("%\n(S*P2)\n%\n\x14");
    ASSERT_TRUE(server.wait_for_line("Mill: Waiting to Receive File"));
    mill.send("%\nO2\nG1\n%\n\x14");
    ASSERT_TRUE(server.wait_for_line("Mill: File Saved")) << server.output().toStdString();
    QFile saved(folder + "progs/P2.NC");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("%\nO2\nG1\n%\n"));

    EXPECT_EQ(server.stop(), 0);
    EXPECT_TRUE(server.output().endsWith("Server stopped\n")) << server.output().toStdString();
}

} // namespace
} // namespace dnc::test
