// dncserver as a real process: start-up, the machine list, the stop signals
// and the single-instance hand-over between two servers. Each test has its
// own runtime folder, so it never meets a developer's running server.
#include "app/handover_text.h"
#include "app/instance_channel.h"
#include "app/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>

namespace dnc
{
namespace
{

constexpr int kTimeoutMs = 10000;

class DncServerProcess : public ::testing::Test
{
protected:
    QTemporaryDir runtime;
    QTemporaryDir data;
    std::vector<std::unique_ptr<QProcess>> processes;

    void SetUp() override
    {
        ASSERT_TRUE(runtime.isValid() && data.isValid());
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DNC_BUILD_DIR"))
            << "run through ctest, or set DNC_BUILD_DIR to the build folder";
        ASSERT_TRUE(QFileInfo(binary()).isExecutable()) << binary().toStdString();
    }

    void TearDown() override
    {
        for (auto &p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(kTimeoutMs);
            }
        }
    }

    static QString binary()
    {
        return qEnvironmentVariable("DNC_BUILD_DIR") + QStringLiteral("/src/app/dncserver");
    }

    QString data_path(const QString &name) const { return QDir(data.path()).filePath(name); }

    void write_file(const QString &name, const QByteArray &bytes)
    {
        QFile file(data_path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    QByteArray read_file(const QString &name) const
    {
        QFile file(data_path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Starts dncserver with `args` after "--headless --data-dir <data>", in
    // the data folder.
    QProcess *start(const QStringList &args, bool headless_options = true)
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(data.path());
        QStringList all;
        if (headless_options)
            all << QStringLiteral("--headless") << QStringLiteral("--data-dir") << data.path();
        process->start(binary(), all + args);
        EXPECT_TRUE(process->waitForStarted(kTimeoutMs));
        processes.push_back(std::move(process));
        return processes.back().get();
    }

    // Waits until the process's standard output holds `line` as a whole line.
    static bool wait_for_line(QProcess *process, const QString &line, QByteArray *seen)
    {
        const QByteArray wanted = line.toUtf8();
        const QDeadlineTimer deadline(kTimeoutMs);
        for (;;) {
            seen->append(process->readAllStandardOutput());
            if (seen->split('\n').contains(wanted))
                return true;
            if (deadline.hasExpired() || process->state() == QProcess::NotRunning)
                return false;
            process->waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        }
    }

    // A started server, ready when it printed its machine list.
    QProcess *start_ready(const QStringList &args = {})
    {
        QProcess *p = start(args);
        QByteArray out;
        EXPECT_TRUE(wait_for_line(p, QStringLiteral("Machine 1 = Default"), &out))
            << out.toStdString() << p->readAllStandardError().toStdString();
        return p;
    }

    static int finish(QProcess *process)
    {
        EXPECT_TRUE(process->waitForFinished(kTimeoutMs));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        return process->exitCode();
    }

    static void stop(QProcess *process, int signal_number = SIGTERM)
    {
        ::kill(pid_t(process->processId()), signal_number);
        EXPECT_EQ(finish(process), 0);
    }

    QString ask_machine_name()
    {
        InstanceClient client;
        if (!client.connect_to(instance_socket_path(runtime.path()), kTimeoutMs))
            return QStringLiteral("<no server>");
        ChannelMessage answer;
        QString error;
        if (!client.ask(make_message(KindMachineNameQuery, QString()), &answer, kTimeoutMs, &error))
            return error;
        return copy_data_text(answer.data);
    }

    void send(quint32 kind, const QString &text)
    {
        InstanceClient client;
        ASSERT_TRUE(client.connect_to(instance_socket_path(runtime.path()), kTimeoutMs));
        QString error;
        ASSERT_TRUE(client.ask(make_message(kind, text), nullptr, kTimeoutMs, &error))
            << error.toStdString();
    }
};

TEST_F(DncServerProcess, MissingIniCreatesDefaultAndStopSignalsExitCleanly)
{
    for (const int signal_number : {SIGTERM, SIGINT}) {
        QFile::remove(data_path(QStringLiteral("DNC.ini")));
        QProcess *server = start({});
        QByteArray out;
        ASSERT_TRUE(wait_for_line(server, QStringLiteral("Machine 1 = Default"), &out))
            << out.toStdString();
        stop(server, signal_number);
        out += server->readAllStandardOutput();
        const QString err = QString::fromUtf8(server->readAllStandardError());
        EXPECT_TRUE(err.contains(QStringLiteral("Can't Find INI file\n") +
                                 QDir(data.path()).filePath(QStringLiteral("DNC.ini"))))
            << err.toStdString();
        EXPECT_TRUE(out.endsWith("Server stopped\n")) << out.toStdString();
        EXPECT_EQ(read_file(QStringLiteral("DNC.ini")), QByteArray("[Default]\nDefaultDir=/\n"));
    }
}

TEST_F(DncServerProcess, ListsTheMachinesOfAnExistingIni)
{
    const QByteArray ini = "[DUREravur]\r\nLastMachine=lathe\r\n[Dirs]\r\nDir1=Parts,/nc\r\n"
                           "[Mill 1]\r\nCommPort=1\r\n[Lathe]\r\nCommPort=2\r\n";
    write_file(QStringLiteral("DNC.ini"), ini);
    QProcess *server = start({QStringLiteral("missing.nc")});
    QByteArray out;
    ASSERT_TRUE(wait_for_line(server, QStringLiteral("Mill 1: Can't find  missing.nc"), &out))
        << out.toStdString();
    EXPECT_TRUE(out.contains("Machine 1 = Mill 1\nMachine 2 = Lathe\n")) << out.toStdString();
    // "LastMachine" makes Lathe current; the command-line file still goes to machine 0.
    EXPECT_EQ(ask_machine_name(), QStringLiteral("Lathe"));
    stop(server);
    EXPECT_FALSE(server->readAllStandardError().contains("Can't Find INI file"));
    EXPECT_EQ(read_file(QStringLiteral("DNC.ini")), ini);
}

TEST_F(DncServerProcess, SecondStartHandsItsFileToTheRunningServer)
{
    write_file(QStringLiteral("O1000.nc"), "%\r\nO1000\r\nM30\r\n%\r\n");
    QProcess *first = start_ready();

    struct Case {
        QStringList args;
        QString note; // expected on the first server's output; empty for none
    };
    const Case cases[] = {
        {{QStringLiteral("O1000.nc")}, QStringLiteral("Default: File Loaded")},
        {{}, {}},
        {{QStringLiteral("/MIN"), QStringLiteral("O1000.nc")}, {}},
        {{QStringLiteral("missing.nc")}, {}},
        {{data.path()}, {}},
    };
    for (const Case &c : cases) {
        QProcess *second = start(c.args);
        EXPECT_EQ(finish(second), 0) << c.args.join(' ').toStdString();
        EXPECT_EQ(second->readAllStandardOutput(), QByteArray());
        QByteArray out;
        if (!c.note.isEmpty()) {
            EXPECT_TRUE(wait_for_line(first, c.note, &out)) << out.toStdString();
        }
    }
    EXPECT_EQ(first->state(), QProcess::Running);
    stop(first);
    const QByteArray rest = first->readAllStandardOutput();
    EXPECT_FALSE(rest.contains("File Loaded")) << rest.toStdString();
}

TEST_F(DncServerProcess, ChannelMessagesFromOtherPrograms)
{
    write_file(QStringLiteral("DNC.ini"), "[Mill]\nCommPort=1\n[Lathe]\nCommPort=2\n");
    write_file(QStringLiteral("O1.nc"), "%\nO1\n%\n");
    QProcess *server = start({});
    QByteArray out;
    ASSERT_TRUE(wait_for_line(server, QStringLiteral("Machine 2 = Lathe"), &out));
    EXPECT_EQ(ask_machine_name(), QStringLiteral("Mill"));

    const QString path = data_path(QStringLiteral("O1.nc"));
    send(KindOpenFile, QStringLiteral("\"%1\"  \r\n").arg(path));
    EXPECT_TRUE(wait_for_line(server, QStringLiteral("Mill: File Loaded"), &out));

    send(KindOpenFileForMachine, QStringLiteral("\"%1\" <Lathe>").arg(path));
    EXPECT_EQ(ask_machine_name(), QStringLiteral("Lathe"));
    send(KindOpenFileForMachine, QStringLiteral("\"/no/such.nc\" <Nowhere>"));
    EXPECT_TRUE(wait_for_line(server, QStringLiteral("Lathe: Can't find  /no/such.nc"), &out));
    EXPECT_EQ(ask_machine_name(), QStringLiteral("Lathe"));
    send(99, QStringLiteral("ignored"));
    EXPECT_EQ(server->state(), QProcess::Running);
    stop(server);
}

TEST_F(DncServerProcess, StaleLockOfAKilledServerDoesNotBlockTheNextStart)
{
    QProcess *crashed = start_ready();
    crashed->kill();
    crashed->waitForFinished(kTimeoutMs);
    ASSERT_TRUE(QFile::exists(instance_lock_path(runtime.path())));

    QProcess *next = start_ready();
    // ... and it is now the server that a further start hands over to.
    QProcess *second = start({});
    EXPECT_EQ(finish(second), 0);
    EXPECT_EQ(next->state(), QProcess::Running);
    stop(next);
}

TEST_F(DncServerProcess, MultiInstanceLetsServersRunSideBySide)
{
    write_file(QStringLiteral("DNC.ini"), "[DUREravur]\nMultiInstance=1\n[Default]\n");
    QProcess *first = start_ready();
    QProcess *second = start_ready();
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_EQ(second->state(), QProcess::Running);
    EXPECT_FALSE(QFile::exists(instance_lock_path(runtime.path())));
    stop(first);
    stop(second);
}

TEST_F(DncServerProcess, OptionsThatEndAtOnce)
{
    struct Case {
        QStringList args;
        int exit_code;
        const char *output; // expected in standard output or standard error
    };
    const Case cases[] = {
        {{QStringLiteral("--version")}, 0, "Norvex Server "},
        {{QStringLiteral("--help")}, 0, "--data-dir DIR"},
        {{QStringLiteral("--headless"), QStringLiteral("--data-dir")},
         2,
         "--data-dir needs a folder"},
        {{QStringLiteral("--headless"), QStringLiteral("--data-dir"),
          QStringLiteral("/no/such/dir")},
         2,
         "/no/such/dir/ does not exist"},
    };
    for (const Case &c : cases) {
        QProcess *p = start(c.args, false);
        EXPECT_EQ(finish(p), c.exit_code) << c.args.join(' ').toStdString();
        const QByteArray all = p->readAllStandardOutput() + p->readAllStandardError();
        EXPECT_TRUE(all.contains(c.output)) << all.toStdString();
    }
}

TEST_F(DncServerProcess, RemoteOnInTheIniServesTheWebRemote)
{
    // A port that is free right now (the server binds it a moment later).
    int port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    const QByteArray ini =
        "[DUREravur]\nRemote=1\nIPAddress=127.0.0.1\nIPPort=" + QByteArray::number(port) +
        "\nCom1=" + data_path(QStringLiteral("no-such-line")).toUtf8() +
        "\n[Default]\nCommPort=1\n";
    write_file(QStringLiteral("DNC.ini"), ini);
    QProcess *server = start_ready();

    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(1);
    std::string body;
    for (int attempt = 0; attempt < 50 && body.empty(); ++attempt) {
        if (auto reply = client.Get("/"); reply && reply->status == 200)
            body = reply->body;
        else
            QThread::msleep(100);
    }
    EXPECT_NE(body.find("Status=Connected"), std::string::npos) << body;
    stop(server);
}

} // namespace
} // namespace dnc
