// Request handling without sockets: session state, machine choice, folder
// moves and the actions handed to the UI thread.
#include "remote/remote_request.h"

#include "remote_test_host.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

using test::test_machine;

class RemoteRequest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        snapshot.machine_names = {"Mill", "Lathe", "Router"};
        snapshot.multi_machine = true;
        for (int i = 0; i < 3; ++i)
            snapshot.records.push_back(test_machine(QStringLiteral("status %1").arg(i)));
        snapshot.file_list_folder = dir.path();
        env.roots = [] { return QStringList{"/", "/media/usb/"}; };
    }

    RemoteOutcome request(std::initializer_list<std::pair<const char *, std::string>> params)
    {
        RemoteParams p;
        for (const auto &[name, value] : params)
            p.add(name, value);
        return handle_remote_request(p, snapshot, session, env);
    }
    QString reply(std::initializer_list<std::pair<const char *, std::string>> params)
    {
        return QString::fromUtf8(request(params).reply);
    }

    QTemporaryDir dir;
    RemoteSnapshot snapshot;
    RemoteSession session;
    RemoteEnvironment env;
};

TEST_F(RemoteRequest, ParameterNamesIgnoreCaseAndTheFirstOfARepeatedOneCounts)
{
    EXPECT_TRUE(reply({{"COMMAND", "notify"}}).startsWith("[DUREravur]\r\nMode=0"));
    EXPECT_EQ(reply({{"command", "foo"}, {"command", "status"}}), "FOO");
    EXPECT_EQ(reply({{"other", "x"}}), "");
    EXPECT_EQ(reply({{"command", "log"}}), "");
    EXPECT_EQ(session.pending_command, RemoteLog);
}

TEST_F(RemoteRequest, TheFileNameIsDecodedOnceMore)
{
    const struct {
        std::string sent;
        const char *name;
    } cases[] = {
        {"O%31000", "O1000"},
        {"A%252BB", "A%2BB"},
        {"50%off", "50%off"},
        {"bad%zz%", "bad%zz%"},
        // Not UTF-8 after decoding: one character per byte ("\xC3\xA9t\xE9").
        {"%C3%A9t%E9", "\xC3\x83\xC2\xA9t\xC3\xA9"},
        {std::string("a\0b", 3), nullptr},
    };
    for (const auto &c : cases) {
        request({{"command", "notify"}, {"filename", c.sent}});
        if (c.name)
            EXPECT_EQ(session.filename, QString::fromUtf8(c.name)) << c.sent;
        else
            EXPECT_EQ(session.filename, QString::fromUtf8(c.sent.data(), 3));
    }
}

TEST_F(RemoteRequest, MachineNamedByTheRequestIsSelectedForTheMachineChange)
{
    snapshot.selected_machine = 0;
    RemoteOutcome out = request({{"command", "status"}, {"machine", "LATHE"}, {"filename", "x"}});
    EXPECT_EQ(session.machine_index, 1);
    EXPECT_EQ(session.machine_name, "Lathe");
    ASSERT_EQ(out.actions.size(), 1u);
    EXPECT_EQ(out.actions[0].kind, RemoteAction::SelectMachine);
    EXPECT_EQ(out.actions[0].index, 1);
    // Multi-machine mode reports the named machine's record at once.
    EXPECT_TRUE(QString::fromUtf8(out.reply).contains("Status=status 1\r\n"));
    EXPECT_TRUE(QString::fromUtf8(out.reply).endsWith("CurrentMachine=Lathe\r\n"));

    // An unknown name means the drop-down's machine, reported by its name.
    out = request({{"command", "status"}, {"machine", "Grinder"}, {"filename", "x"}});
    EXPECT_TRUE(out.actions.empty());
    EXPECT_EQ(session.machine_index, 0);
    EXPECT_TRUE(QString::fromUtf8(out.reply).endsWith("CurrentMachine=Mill\r\n"));

    // Single-machine mode: one record serves whichever machine is selected.
    snapshot.multi_machine = false;
    snapshot.records.resize(1);
    out = request({{"command", "notify"}, {"machine", "router"}});
    EXPECT_EQ(out.actions.at(0).index, 2);
    EXPECT_EQ(QString::fromUtf8(out.reply), "[DUREravur]\r\nMode=0\r\nStatus=status 0");
}

TEST_F(RemoteRequest, NoMachinesAtAll)
{
    snapshot = RemoteSnapshot{};
    EXPECT_EQ(reply({}), "");
    EXPECT_EQ(reply({{"command", "status"}}), "");
    EXPECT_EQ(reply({{"command", "hello"}}), "HELLO");
}

TEST_F(RemoteRequest, MaskRules)
{
    const struct {
        std::string sent;
        const char *mask;
    } cases[] = {{"**.nc", "*.nc"}, {"", "*"}, {"O1*", "O1*"}, {"***", "**"}};
    for (const auto &c : cases) {
        request({{"command", "notify"}, {"mask", c.sent}});
        EXPECT_EQ(session.mask, c.mask) << c.sent;
    }
    request({{"command", "notify"}});
    EXPECT_EQ(session.mask, "*");
    EXPECT_TRUE(reply({{"command", "reset"}, {"mask", "*.x"}}).contains("\r\nMask=*\r\n"));
}

TEST_F(RemoteRequest, HomeFolderTakesTheMachinesFilterAndReadFolder)
{
    RemoteMachineView &m = snapshot.records[0];
    m.filter_files = true;
    m.default_read_directory = dir.path();
    const QString text = reply({{"command", "homefolder"}});
    EXPECT_EQ(session.mask, "*.nc");
    EXPECT_EQ(session.folder, dir.path() + '/');
    EXPECT_TRUE(text.startsWith("[DUREravur]\r\nDefaultExt=.nc\r\nMask=*.nc\r\nMode=0\r\n"
                                "Status=Folders Loaded\r\n"));
    EXPECT_TRUE(text.contains("Path=" + dir.path() + "/\r\n"));
    EXPECT_TRUE(text.endsWith("FileCount=0\r\n"));

    // STATUS without a file name goes home too; with one it stays put.
    session.folder = "/";
    request({{"command", "status"}, {"filename", "O1"}});
    EXPECT_EQ(session.folder, "/");
    request({{"command", "status"}});
    EXPECT_EQ(session.folder, dir.path() + '/');
}

TEST_F(RemoteRequest, FolderMoves)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath("a/b"));
    const QString base = dir.path() + '/';
    session.set_folder(dir.path() + "/a");
    const struct {
        const char *command;
        std::string downfolder;
        QString folder;
        bool empty_reply;
    } steps[] = {
        {"downlevel", "  b  ", base + "a/b/", false},
        {"downlevel", "missing", base + "a/b/", true},
        {"downlevel", "../..", base, false},
        {"downlevel", std::string("a\0x", 3), base, true},
        {"uplevel", "", QDir::cleanPath(dir.path() + "/..") + '/', false},
        {"downlevel", "/", QDir::cleanPath(dir.path() + "/..") + '/', false},
    };
    for (const auto &s : steps) {
        const QString text = reply({{"command", s.command}, {"downfolder", s.downfolder}});
        EXPECT_EQ(session.folder, s.folder) << s.command << " " << s.downfolder;
        EXPECT_EQ(text.isEmpty(), s.empty_reply) << s.command << " " << s.downfolder;
    }

    // Up from the root gives the roots; down from the roots takes a root
    // (a drive such as "D:\" is the root).
    session.set_folder("/");
    EXPECT_TRUE(reply({{"command", "uplevel"}})
                    .contains("Path=\\\r\nFolder0=/\r\nFolder1=/media/usb/\r\nFolderCount=2\r\n"));
    EXPECT_EQ(session.folder, "\\");
    EXPECT_TRUE(reply({{"command", "uplevel"}}).contains("Path=\\\r\n"));
    reply({{"command", "downlevel"}, {"downfolder", "D:\\"}});
    EXPECT_EQ(session.folder, "/");
    session.folder.clear();
    reply({{"command", "uplevel"}});
    EXPECT_EQ(session.folder, "\\");
    // Relative folders never depend on the server's working folder.
    session.folder.clear();
    EXPECT_EQ(reply({{"command", "downlevel"}, {"downfolder", "tmp"}}), "");
}

TEST_F(RemoteRequest, ActionsOfResetReceiveAndSend)
{
    QFile f(dir.filePath("O1000.nc"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    snapshot.records[0].default_save_directory = dir.path();

    RemoteOutcome out = request({{"command", "send"}, {"filename", "O1000"}});
    ASSERT_EQ(out.actions.size(), 1u);
    EXPECT_EQ(out.actions[0].kind, RemoteAction::Command);
    EXPECT_EQ(out.actions[0].command, RemoteSend);
    EXPECT_EQ(out.actions[0].text, dir.filePath("O1000.nc"));
    EXPECT_EQ(QString::fromUtf8(out.reply), "[DUREravur]\r\nMode=0\r\nStatus=status 0");

    out = request({{"command", "send"}, {"filename", "O2000"}});
    ASSERT_EQ(out.actions.size(), 1u);
    EXPECT_EQ(out.actions[0].kind, RemoteAction::Note);
    EXPECT_EQ(out.actions[0].text, "File not found:" + dir.filePath("O2000.nc"));

    out = request({{"command", "receive"}, {"filename", "new"}});
    ASSERT_EQ(out.actions.size(), 1u);
    EXPECT_EQ(out.actions[0].command, RemoteReceive);
    EXPECT_EQ(out.actions[0].text, dir.filePath("new.nc"));

    out = request({{"command", "reset"}});
    ASSERT_EQ(out.actions.size(), 2u);
    EXPECT_EQ(out.actions[0].command, RemoteReset);
    EXPECT_EQ(out.actions[1].kind, RemoteAction::ReadyNote);

    snapshot.records[0].sending = true;
    snapshot.records[0].nc_filename = "/x/O9.nc";
    for (const char *command : {"send", "receive"}) {
        out = request({{"command", command}, {"filename", "O1000"}});
        EXPECT_TRUE(out.actions.empty());
        EXPECT_EQ(out.reply, "Status: Sending in progress<br>File:/x/O9.nc</td>");
    }
}

TEST_F(RemoteRequest, ViewFile)
{
    QFile f(dir.filePath("O5.nc"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("O5\nM30\n");
    f.close();
    snapshot.records[0].default_save_directory = dir.path();
    EXPECT_EQ(reply({{"command", "viewfile"}, {"filename", "O5"}}),
              "Status:status 0<br>\r\n" + dir.filePath("O5.nc") + "\r\nO5\r\nM30\r\n");
    EXPECT_EQ(reply({{"command", "viewfile"}, {"filename", "O6"}}), "File not found");
    EXPECT_EQ(reply({{"command", "viewfile"}}), "File not found");
}

} // namespace
} // namespace dnc
