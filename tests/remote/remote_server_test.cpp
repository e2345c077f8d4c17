// The web remote end to end: a real HTTP client (or a raw TCP socket for
// malformed and slow requests) against the running server on 127.0.0.1.
#include "remote/remote_server.h"

#include "remote_test_host.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dnc
{
namespace
{

using namespace std::chrono_literals;
using test::run_event_loop_for;
using test::while_event_loop_runs;

// A TCP connection that sends exactly the bytes a test gives it.
class RawClient
{
public:
    explicit RawClient(int port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    }
    ~RawClient() { ::close(fd_); }
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    bool connected() const { return connected_; }
    bool send(const std::string &bytes)
    {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Everything the server sends until it closes the connection or
    // `timeout` passes; `closed` tells which.
    std::string read_until_closed(std::chrono::milliseconds timeout, bool *closed = nullptr)
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buf[4096];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) {
                if (closed)
                    *closed = true;
                return got;
            }
            got.append(buf, static_cast<size_t>(n));
        }
        if (closed)
            *closed = false;
        return got;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

class RemoteServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        host.command_active = false;
        RemoteMachineView mill = test::test_machine();
        mill.default_save_directory = dir.path() + '/';
        mill.default_read_directory = dir.path() + '/';
        host.state.machine_names = {"Mill", "Lathe"};
        host.state.records = {mill};
        host.state.file_list_folder = QDir::tempPath();
        server = std::make_unique<RemoteServer>(host);
        server->set_bind_address("127.0.0.1");
        server->set_environment({[] { return QStringList{"/", "/media/usb/"}; }});
    }
    void start(const HttpLimits &limits = {})
    {
        server->set_limits(limits);
        ASSERT_TRUE(server->start("127.0.0.1", 0));
        ASSERT_GT(server->port(), 0);
    }

    // GET `target` with a real HTTP client while the UI loop runs.
    httplib::Result get(const std::string &target)
    {
        return while_event_loop_runs([&] {
            httplib::Client client("127.0.0.1", server->port());
            client.set_read_timeout(10s);
            return client.Get(target.c_str());
        });
    }
    QString body(const std::string &target)
    {
        httplib::Result r = get(target);
        EXPECT_TRUE(r) << target;
        if (!r)
            return {};
        EXPECT_EQ(r->status, 200) << target;
        return QString::fromStdString(r->body);
    }
    QString write_file(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    QTemporaryDir dir;
    test::TestRemoteHost host;
    std::unique_ptr<RemoteServer> server;
};

TEST_F(RemoteServerTest, RequestWithoutParametersIsConnected)
{
    start();
    httplib::Result r = get("/");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->get_header_value("Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(r->body, "[DUREravur]\r\nDefaultExt=.nc\r\nMask=*\r\nMode=0\r\nStatus=Connected\r\n"
                       "Version=2\r\nCurrentFilename=\r\n");
    // Any path is the same server.
    EXPECT_EQ(body("/some/page.html"), QString::fromStdString(r->body));
}

TEST_F(RemoteServerTest, CommandsIgnoreLetterCaseAndUnknownOnesEchoUpperCase)
{
    start();
    EXPECT_EQ(body("/?command=notify"), body("/?command=NOTIFY"));
    EXPECT_EQ(body("/?command=notify"), "[DUREravur]\r\nMode=0\r\nStatus=COM1 Ready");
    EXPECT_EQ(body("/?command=foo"), "FOO");
    EXPECT_EQ(body("/x?Command=StAtUs&filename=a").left(12), "[DUREravur]\r");
    // Parameters from a form body.
    const httplib::Result r = while_event_loop_runs([&] {
        httplib::Client client("127.0.0.1", server->port());
        return client.Post("/", "command=foo&machine=Mill", "application/x-www-form-urlencoded");
    });
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "FOO");
}

TEST_F(RemoteServerTest, AtMost151FilesAreListed)
{
    for (int i = 0; i < 200; ++i)
        write_file(QStringLiteral("P%1.nc").arg(i, 3, 10, QChar('0')), "%\n");
    start();
    const QString text = body("/?command=homefolder");
    EXPECT_TRUE(text.contains("\r\nFile0=P000.nc;(2) "));
    EXPECT_TRUE(text.contains("\r\nFile150=P150.nc;(2) "));
    EXPECT_FALSE(text.contains("File151="));
    EXPECT_TRUE(text.endsWith("\r\nFileCount=151\r\n"));
}

TEST_F(RemoteServerTest, FilesUpTo50000BytesAreShownWhole)
{
    QByteArray exact(50000, 'X');
    for (int i = 99; i < exact.size(); i += 100)
        exact[i] = '\n';
    write_file("exact.nc", exact);
    write_file("over.nc", exact + "Y");
    start();

    const QString head = "Status:COM1 Ready<br>\r\n" + dir.filePath("%1") + "\r\n";
    QString shown = QString(exact).replace("\n", "\r\n");
    EXPECT_EQ(body("/?command=viewfile&filename=exact"), head.arg("exact.nc") + shown);
    shown.chop(2); // the 50000th byte ends a line; the text is shown as it is cut
    EXPECT_EQ(body("/?command=viewfile&filename=over.nc"),
              head.arg("over.nc") + shown + "\r\n\r\nFile over 50000 Chars");
    EXPECT_EQ(body("/?command=viewfile&filename=missing"), "File not found");
}

TEST_F(RemoteServerTest, AFileWrittenAtFivePastNoonReads1205AM)
{
    const QString path = write_file("noon.nc", "%\n");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const QDateTime noon(QDate(2024, 7, 4), QTime(12, 5));
    ASSERT_TRUE(f.setFileTime(noon, QFileDevice::FileModificationTime));
    f.close();
    start();
    EXPECT_TRUE(body("/?command=homefolder").contains("\r\nFile0=noon.nc;(2) 7/4/24;12:05AM\r\n"));
}

TEST_F(RemoteServerTest, SendWhileSendingGetsTheBusyReplyAndChangesNothing)
{
    host.state.records[0].sending = true;
    host.state.records[0].nc_filename = "/cnc/O7.nc";
    write_file("O1000.nc", "%\n");
    start();
    EXPECT_EQ(body("/?command=SEND&filename=O1000"),
              "Status: Sending in progress<br>File:/cnc/O7.nc</td>");
    run_event_loop_for(50);
    EXPECT_TRUE(host.log.isEmpty()) << host.log.join(", ").toStdString();
    EXPECT_FALSE(host.command_active);
}

TEST_F(RemoteServerTest, SendWithABareNameTakesSaveFolderAndExtension)
{
    const QString path = write_file("O1000.nc", "%\n");
    start();
    EXPECT_EQ(body("/?command=send&filename=O1000"), "[DUREravur]\r\nMode=0\r\nStatus=COM1 Ready");
    // Nothing happens on the connection thread; the command timer does it.
    EXPECT_TRUE(host.log.isEmpty());
    run_event_loop_for(50);
    EXPECT_EQ(host.log, (QStringList{"filename 0 " + path, "load 0 " + path, "send 0"}));
    EXPECT_TRUE(host.command_active);
}

TEST_F(RemoteServerTest, CommandTimerActions)
{
    write_file("O1.nc", "%\n");
    const QString received = dir.filePath("R5.nc");
    const struct {
        std::string target;
        QStringList log;
        bool active_after;
    } cases[] = {
        {"/?command=reset", {"ready 0", "change", "clear 0", "display 0 "}, false},
        {"/?command=receive&filename=R5",
         {"filename 0 " + received, "clear 0", "receive 0", "display 0 " + received},
         true},
        // A status poll right after a SEND does not cancel it.
        {"/?command=send&filename=O1",
         {"filename 0 " + dir.filePath("O1.nc"), "load 0 " + dir.filePath("O1.nc"), "send 0"},
         true},
        {"/?command=send&filename=O2", {"note 0 File not found:" + dir.filePath("O2.nc")}, false},
    };
    start();
    for (const auto &c : cases) {
        host.log.clear();
        host.command_active = false;
        while_event_loop_runs([&] {
            httplib::Client client("127.0.0.1", server->port());
            client.Get(c.target.c_str());
            return client.Get("/?command=status&filename=x");
        });
        run_event_loop_for(50);
        EXPECT_EQ(host.log, c.log) << c.target;
        EXPECT_EQ(host.command_active, c.active_after) << c.target;
    }

    // A file that cannot be loaded leaves no remote command active.
    host.load_succeeds = false;
    host.log.clear();
    body("/?command=send&filename=O1");
    run_event_loop_for(50);
    EXPECT_EQ(host.log.last(), "load 0 " + dir.filePath("O1.nc"));
    EXPECT_FALSE(host.command_active);

    // Binary machines send the file without the editor.
    host.state.records[0].file_type = 1;
    host.log.clear();
    body("/?command=send&filename=O1");
    run_event_loop_for(50);
    EXPECT_EQ(host.log, (QStringList{"filename 0 " + dir.filePath("O1.nc"), "binary 0"}));
}

TEST_F(RemoteServerTest, NamingAnotherMachineChangesItBeforeTheCommandRuns)
{
    host.state.multi_machine = true;
    RemoteMachineView lathe = test::test_machine("Lathe idle");
    lathe.default_save_directory = dir.path();
    host.state.records.push_back(lathe);
    const QString path = write_file("O1.nc", "%\n");
    start();
    EXPECT_TRUE(body("/?command=send&machine=lathe&filename=O1").endsWith("Status=Lathe idle"));
    run_event_loop_for(50);
    EXPECT_EQ(host.log, (QStringList{"select 1", "change", "filename 1 " + path, "load 1 " + path,
                                     "send 1"}));

    host.log.clear();
    EXPECT_TRUE(body("/?command=machine")
                    .endsWith("MachineCount=2\r\nMachine0=Mill\r\nMachine1=Lathe\r\n"
                              "CurrentMachine=Lathe\r\n"));
    run_event_loop_for(30);
    EXPECT_TRUE(host.log.isEmpty());
}

TEST_F(RemoteServerTest, UpLevelFromTheRootGivesTheRoots)
{
    start();
    server->set_folder("/");
    EXPECT_EQ(body("/?command=uplevel"),
              "[DUREravur]\r\nDefaultExt=.nc\r\nMask=*\r\nMode=0\r\nStatus=Folders "
              "Loaded\r\nVersion=2\r\n"
              "CurrentFilename=\r\nPath=\\\r\nFolder0=/\r\nFolder1=/media/usb/\r\nFolderCount=2\r\n"
              "FileCount=0\r\n");
    // A drive root sent as "C:\" is the root as well.
    EXPECT_TRUE(body("/?command=downlevel&downfolder=C:%5C").contains("\r\nPath=/\r\n"));
}

TEST_F(RemoteServerTest, StartFailuresAreReported)
{
    // The address shown to the operator is empty: no server, no message.
    EXPECT_FALSE(server->start(QString(), 0));
    EXPECT_FALSE(server->is_active());
    EXPECT_TRUE(host.messages.isEmpty());

    start();
    const int taken = server->port();
    RemoteServer second(host);
    second.set_bind_address("127.0.0.1");
    EXPECT_FALSE(second.start("127.0.0.1", taken));
    EXPECT_FALSE(second.is_active());
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_EQ(host.messages[0], "DNC Remote\r\nCould not bind socket: Address already in use\r\n"
                                "Bad IP Address or already in use");
    EXPECT_FALSE(second.start("127.0.0.1", 70000));
    EXPECT_TRUE(host.messages.last().endsWith("\r\nBad IP Address or already in use"));
    // The first server is still serving.
    EXPECT_EQ(body("/?command=foo"), "FOO");
}

TEST_F(RemoteServerTest, StopEndsOpenConnectionsAtOnceAndTheServerRestarts)
{
    start();
    RawClient idle(server->port());
    ASSERT_TRUE(idle.connected());
    ASSERT_TRUE(idle.send("GET /?command=foo HTTP/1.1\r\n"));
    const auto begin = std::chrono::steady_clock::now();
    server->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
    EXPECT_FALSE(server->is_active());
    start();
    EXPECT_EQ(body("/?command=foo"), "FOO");
}

TEST_F(RemoteServerTest, BadRequestsGetADefinedReplyAndTheServerKeepsServing)
{
    HttpLimits limits;
    limits.request_timeout = 1000ms;
    limits.read_timeout = 500ms;
    limits.keep_alive_timeout = 200ms;
    start(limits);
    const struct {
        std::string request;
        const char *status_line; // nullptr: the connection may simply be closed
    } cases[] = {
        {"GET /?command=" + std::string(64 * 1024, 'A') + " HTTP/1.1\r\nHost: x\r\n\r\n",
         "HTTP/1.1 414"},
        {"GET /?command=%zz%&filename=%&machine=%%41 HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200"},
        {"GET /?command=%00%ff%fe&filename=%00&downfolder=%ff HTTP/1.1\r\nHost: x\r\n\r\n",
         "HTTP/1.1 200"},
        {"GET /?command=viewfile&filename=%2Fdev%2Fzero HTTP/1.1\r\nHost: x\r\n\r\n",
         "HTTP/1.1 200"},
        {"GET /?command=downlevel&downfolder=..%2F..%2F..%2F..%2F.. HTTP/1.1\r\nHost: x\r\n\r\n",
         "HTTP/1.1 200"},
        {"GET /?=&=&&&command HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200"},
        {"POST / HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
         "Content-Length: 100000\r\n\r\n" +
             std::string(100000, 'a'),
         "HTTP/1.1 413"},
        {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\n\r\n", nullptr},
        {std::string("\x01\x02\xff\x00\r\n\r\n", 8), nullptr},
        {"GET / HTTP/1.1\r\n" + std::string(20000, 'H') + "\r\n\r\n", nullptr},
    };
    for (const auto &c : cases) {
        const std::string reply = while_event_loop_runs([&] {
            RawClient raw(server->port());
            raw.send(c.request);
            return raw.read_until_closed(5s);
        });
        if (c.status_line) {
            EXPECT_EQ(reply.substr(0, 12), c.status_line) << c.request.substr(0, 60);
        }
        EXPECT_EQ(body("/?command=foo"), "FOO") << c.request.substr(0, 60);
    }
}

TEST_F(RemoteServerTest, SlowClientsNeitherStallOthersNorStayForever)
{
    HttpLimits limits;
    limits.request_timeout = 3000ms;
    limits.read_timeout = 1500ms;
    limits.keep_alive_timeout = 1500ms;
    start(limits);

    // More stalled clients than httplib's own pool has threads: some never
    // finish their headers, the others connect and say nothing.
    std::vector<std::unique_ptr<RawClient>> slow;
    for (int i = 0; i < 24; ++i) {
        slow.push_back(std::make_unique<RawClient>(server->port()));
        ASSERT_TRUE(slow.back()->connected());
        if (i % 2 == 0)
            slow.back()->send("GET /?command=status HTTP/1.1\r\nHost: x\r\n");
    }
    // Another client is served while they stall, long before their
    // timeouts.
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(body("/?command=foo"), "FOO");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1000ms);

    // A client that sends a byte now and then, each within the read
    // timeout, is still dropped when its request deadline passes.
    RawClient trickle(server->port());
    ASSERT_TRUE(trickle.send("GET /?command=status HTTP/1.1\r\nHost: x\r\nX-Pad: "));
    bool dropped = false;
    const auto trickle_begin = std::chrono::steady_clock::now();
    for (int i = 0; i < 100 && !dropped; ++i) {
        trickle.send("a");
        trickle.read_until_closed(100ms, &dropped);
    }
    EXPECT_TRUE(dropped);
    EXPECT_LT(std::chrono::steady_clock::now() - trickle_begin, 6s);

    for (auto &c : slow) {
        bool closed = false;
        c->read_until_closed(5s, &closed);
        EXPECT_TRUE(closed);
    }
}

TEST_F(RemoteServerTest, ClientsBeyondTheLimitAreTurnedAwayAtOnce)
{
    HttpLimits limits;
    limits.max_connections = 2;
    limits.request_timeout = 3000ms;
    limits.read_timeout = 3000ms;
    start(limits);
    RawClient a(server->port()), b(server->port());
    ASSERT_TRUE(a.send("GET / HTTP/1.1\r\n"));
    ASSERT_TRUE(b.send("GET / HTTP/1.1\r\n"));
    run_event_loop_for(100);
    RawClient c(server->port());
    bool closed = false;
    EXPECT_EQ(c.read_until_closed(1s, &closed).substr(0, 12), "HTTP/1.1 503");
    EXPECT_TRUE(closed);
}

TEST_F(RemoteServerTest, ParallelClientsAreAllAnswered)
{
    start();
    const int served = while_event_loop_runs([&] {
        std::vector<std::future<int>> clients;
        for (int t = 0; t < 8; ++t) {
            clients.push_back(std::async(std::launch::async, [&, t] {
                httplib::Client client("127.0.0.1", server->port());
                int ok = 0;
                for (int i = 0; i < 50; ++i) {
                    const std::string target = i % 2 ? "/?command=status&machine=Lathe&filename=x"
                                                     : "/?command=foo" + std::to_string(t);
                    const httplib::Result r = client.Get(target.c_str());
                    ok += r && r->status == 200;
                }
                return ok;
            }));
        }
        int total = 0;
        for (auto &f : clients)
            total += f.get();
        return total;
    });
    EXPECT_EQ(served, 8 * 50);
}

} // namespace
} // namespace dnc
