// The web remote over the real engine: an HTTP request makes a machine send
// a file over its (fake) serial line, and the documents report the
// engine's records.
#include "remote/engine_remote_host.h"

#include "engine/send_fixture.h"
#include "remote/remote_server.h"
#include "remote_test_host.h"

#include <QFile>
#include <QTemporaryDir>
#include <httplib.h>

namespace dnc::test
{
namespace
{

// The front-end's part: machine list, drop-down, status lines, file list.
class FrontEndHost : public EngineRemoteHost
{
public:
    FrontEndHost(Engine &engine, RecordingWorkspace &ws) : EngineRemoteHost(engine), ws_(ws) {}

    QStringList log;
    QString folder = QDir::tempPath();

    void select_machine(int index) override
    {
        log << QStringLiteral("select %1").arg(index);
        selected_ = index;
        engine().set_current_machine(index);
    }
    void change_machine() override { log << QStringLiteral("change"); }
    void binary_send(int record) override { log << QStringLiteral("binary %1").arg(record); }

protected:
    QStringList machine_names() override { return {"Mill", "Lathe"}; }
    int selected_machine() override { return selected_; }
    QString status_text(int record) override { return ws_.last_note(record); }
    QString file_list_folder() override { return folder; }

private:
    RecordingWorkspace &ws_;
    int selected_ = 0;
};

class EngineRemote : public SendFixture
{
protected:
    void SetUp() override
    {
        SendFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
        engine->set_multi_machine(true);
        for (int i = 0; i < kMachines; ++i) {
            record(i).DefaultExtension = ".nc";
            record(i).DefaultSaveDirectory = dir.path() + '/';
        }
        host = std::make_unique<FrontEndHost>(*engine, ws);
        server = std::make_unique<RemoteServer>(*host);
        server->set_bind_address("127.0.0.1");
        ASSERT_TRUE(server->start("127.0.0.1", 0));
    }
    void TearDown() override
    {
        server.reset();
        host.reset();
        SendFixture::TearDown();
    }
    QString get(const std::string &target)
    {
        return QString::fromStdString(while_event_loop_runs([&] {
            httplib::Client client("127.0.0.1", server->port());
            const httplib::Result r = client.Get(target.c_str());
            return r ? r->body : std::string("no reply");
        }));
    }

    QTemporaryDir dir;
    std::unique_ptr<FrontEndHost> host;
    std::unique_ptr<RemoteServer> server;
};

TEST_F(EngineRemote, SendFromTheRemoteGoesOutOnTheMachinesLine)
{
    FakeSerialLine &line = use_fake(1);
    QFile program(dir.filePath("O1000.nc"));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("%\nO1000\nG01 X10.\nM30\n%\n");
    program.close();

    EXPECT_EQ(get("/?command=send&machine=lathe&filename=O1000"),
              "[DUREravur]\r\nMode=0\r\nStatus=");
    ASSERT_TRUE(wait_note(1, "Finished Sending"));
    EXPECT_TRUE(line.written().contains("O1000\r\nG01 X10.\r\nM30\r\n"));
    EXPECT_EQ(ws.editor_lines(1), (QStringList{"%", "O1000", "G01 X10.", "M30", "%"}));
    EXPECT_EQ(record(1).filename(), dir.filePath("O1000.nc"));
    EXPECT_EQ(host->log, (QStringList{"select 1", "change"}));
    // The end of the send ends the remote command.
    EXPECT_TRUE(wait_until([&] { return !engine->remote_command_active; }));

    // The documents show the engine's record and the last note.
    const QString status = get("/?command=status&machine=Lathe&filename=O1000");
    EXPECT_TRUE(status.startsWith("[DUREravur]\r\nDefaultExt=.nc\r\nMask=*\r\nMode=0\r\n"
                                  "Status=Finished Sending\r\n"));
    EXPECT_TRUE(status.endsWith("CurrentMachine=Lathe\r\n"));
}

TEST_F(EngineRemote, ResetShowsTheReadyNoteAndClearsTheFileName)
{
    use_fake(0);
    ws.set_program(0, {"G0 X1"});
    get("/?command=reset");
    ASSERT_TRUE(wait_until([&] { return host->log.contains("change"); }));
    process_events_for(50);
    EXPECT_TRUE(ws.has_note(0, "COM1 Ready"));
    EXPECT_TRUE(ws.file_name(0).isEmpty());
    EXPECT_TRUE(ws.editor_lines(0).isEmpty());
    EXPECT_FALSE(engine->remote_command_active);
}

} // namespace
} // namespace dnc::test
