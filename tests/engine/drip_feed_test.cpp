// Subprogram calls and LOOP blocks expanded while sending, end to end over a
// pseudo-terminal: the test plays the machine tool and checks every byte the
// control would get, and the message that stops a send that cannot go on.
#include "engine/drip_feed.h"
#include "send_fixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <ostream>
#include <utility>
#include <vector>

namespace dnc::test
{
namespace
{

// The lines as the machine receives them (the default end of block CR LF).
QByteArray received_lines(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

// A main program that calls O1, which calls O2 ... down to O<depth>. Each
// subprogram sends A<n> before its call and Z<n> after it, so the order of
// the lines shows every return.
QStringList nested_calls(int depth)
{
    QStringList lines = {"M98 P1", "M30"};
    for (int n = 1; n <= depth; ++n) {
        lines << QStringLiteral("O%1").arg(n) << QStringLiteral("A%1").arg(n);
        if (n < depth)
            lines << QStringLiteral("M98 P%1").arg(n + 1);
        lines << QStringLiteral("Z%1").arg(n) << "M99";
    }
    return lines;
}

struct DripCase {
    const char *name;
    QStringList program;
    // Files in the machine's read folder: name and bytes.
    std::vector<std::pair<QString, QByteArray>> files;
    // Everything the machine receives, up to the end or the stop.
    QStringList expected;
    // "title|body" of the message that stops the send; empty when the send
    // finishes.
    QString message = {};
    std::function<void(MachineSettingsRecord &)> setup = {};
};

// gtest names a failing case by its description.
void PrintTo(const DripCase &c, std::ostream *os)
{
    *os << c.name;
}

class DripFeedFixture : public SendFixture
{
protected:
    void SetUp() override
    {
        SendFixture::SetUp();
        ASSERT_TRUE(folder.isValid());
        install_drip_feed(*engine);
        MachineSettingsRecord &r = record();
        r.UseSubprograms = true;
        r.UseLOOP = true;
        r.DefaultReadDirectory = folder.path() + QLatin1Char('/');
        r.sub_file_prefix = QStringLiteral("O");
        r.DefaultExtension = QStringLiteral(".NC");
    }

    void write_file(const QString &name, const QByteArray &bytes)
    {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QTemporaryDir folder;
};

class DripFeedSend : public DripFeedFixture, public ::testing::WithParamInterface<DripCase>
{
};

TEST_P(DripFeedSend, MachineReceivesTheExpandedProgram)
{
    const DripCase &c = GetParam();
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    MachineReader reader(pty.master_fd());
    use_device(0, pty.slave_path());
    for (const auto &[name, bytes] : c.files)
        write_file(name, bytes);
    if (c.setup)
        c.setup(record());
    ws.set_program(0, c.program);
    const QByteArray expected = received_lines(c.expected);

    // The messages of the send itself; a pseudo-terminal's missing modem
    // lines are reported once per device and process, which depends on the
    // order tests run in, so that report is left out.
    const auto send_messages = [&] {
        QStringList messages = ws.messages();
        messages.removeIf([](const QString &m) { return m.contains("cannot have:"); });
        return messages;
    };

    frame_send(machine());
    if (c.message.isEmpty()) {
        ASSERT_TRUE(wait_note(0, "Finished Sending")) << ws.notes(0).join(" / ").toStdString();
        EXPECT_TRUE(send_messages().isEmpty()) << send_messages().join(" / ").toStdString();
    } else {
        ASSERT_TRUE(wait_note(0, "Send Cancelled")) << ws.notes(0).join(" / ").toStdString();
        ASSERT_TRUE(wait_until([&] { return !send_messages().isEmpty(); }));
        EXPECT_EQ(send_messages(), QStringList{c.message + "|0"});
        EXPECT_FALSE(ws.has_note(0, "Finished Sending"));
        EXPECT_TRUE(wait_until([&] { return ws.button_enabled(0, FrameButton::Send); }));
    }
    reader.wait_for(expected.size(), 2000);
    process_events_for(50);
    EXPECT_EQ(reader.received(), expected);
    EXPECT_TRUE(machine().sender().wait_for_worker(2000));
}

const QByteArray kSubprogram100 = "%\r\nO0100\r\nG01 X1 (FIRST)\r\nG01 X2\r\nM99\r\n%\r\n";

INSTANTIATE_TEST_SUITE_P(
    Finishing, DripFeedSend,
    ::testing::Values(
        DripCase{"a file's lines go out in place of the call, without %, O and M99",
                 {"%", "O1000", "G00 X0", "M98 P100", "G00 X9", "M30", "%"},
                 {{"O0100.NC", kSubprogram100}},
                 {"%", "O1000", "G00 X0", "G01 X1 (FIRST)", "G01 X2", "G00 X9", "M30"}},
        DripCase{"M198 with a prefix and no extension for \".*\"",
                 {"M198 P42", "M30"},
                 {{"SUB0042", "G01 Z-1\nM99\n"}},
                 {"G01 Z-1", "M30"},
                 {},
                 [](MachineSettingsRecord &r) {
                     r.sub_file_prefix = QStringLiteral("SUB");
                     r.DefaultExtension = QStringLiteral(".*");
                 }},
        DripCase{"a file that calls itself sends the call as it is",
                 {"M98 P100", "M30"},
                 {{"O0100.NC", "X1\nM98 P100\nM99\n"}},
                 {"X1", "M98 P100", "M30"}},
        DripCase{"a subprogram stored after M30 goes out in place of the call",
                 {"O1000", "G00 X0", "M98 P200", "G00 X9", "M30", "O200", "G01 X5", "M99"},
                 {},
                 {"O1000", "G00 X0", "G01 X5", "G00 X9", "M30"}},
        DripCase{"five nested calls return in order",
                 nested_calls(5),
                 {},
                 {"A1", "A2", "A3", "A4", "A5", "Z5", "Z4", "Z3", "Z2", "Z1", "M30"}},
        DripCase{"a LOOP with repeat count 2 sends its block three times",
                 {"G90", "N100 G01 X1", "G01 X2", "(LOOP 100,2)", "M30"},
                 {},
                 {"G90", "N100 G01 X1", "G01 X2", "N100 G01 X1", "G01 X2", "N100 G01 X1", "G01 X2",
                  "M30"}},
        DripCase{"LOOP numbers are computed",
                 {"N100 X1", "(LOOP 50*2 , 3-1)", "M30"},
                 {},
                 {"N100 X1", "N100 X1", "N100 X1", "M30"}},
        DripCase{"a LOOP with count 0 sends its block once",
                 {"N1 X1", "(LOOP 1,0)", "M30"},
                 {},
                 {"N1 X1", "M30"}},
        DripCase{"a loop inside another runs in full on every outer pass",
                 {"N1 A", "N2 B", "(LOOP 2,1)", "(LOOP 1,1)", "M30"},
                 {},
                 {"N1 A", "N2 B", "N2 B", "N1 A", "N2 B", "N2 B", "M30"}},
        DripCase{"two markers going back to one block end",
                 {"N10 X1", "(LOOP 10,1)", "(LOOP 10,1)", "M30"},
                 {},
                 {"N10 X1", "N10 X1", "N10 X1", "N10 X1", "M30"}},
        DripCase{"with the options off, calls and markers go out as written",
                 {"N1 X1", "(LOOP 1,2)", "M98 P100", "M99", "M30", "%"},
                 {{"O0100.NC", kSubprogram100}},
                 {"N1 X1", "(LOOP 1,2)", "M98 P100", "M99", "M30", "%"},
                 {},
                 [](MachineSettingsRecord &r) {
                     r.UseSubprograms = false;
                     r.UseLOOP = false;
                 }}),
    [](const ::testing::TestParamInfo<DripCase> &info) {
        return "case" + std::to_string(info.index);
    });

INSTANTIATE_TEST_SUITE_P(
    Stopping, DripFeedSend,
    ::testing::Values(
        DripCase{"a sixth nested call",
                 nested_calls(6),
                 {},
                 {"A1", "A2", "A3", "A4", "A5"},
                 "Subprogram 6 nested too deeply|in M98 P6: subprogram calls nest at most 5 "
                 "levels deep"},
        DripCase{"a subprogram that calls itself",
                 {"M98 P7", "M30", "O7", "X1", "M98 P7", "M99"},
                 {},
                 {"X1", "X1", "X1", "X1", "X1"},
                 "Subprogram 7 nested too deeply|in M98 P7: subprogram calls nest at most 5 "
                 "levels deep"},
        DripCase{"M99 without a call",
                 {"G01 X1", "M99", "G01 X2"},
                 {},
                 {"G01 X1"},
                 "Can't Return From Subprogram 0|in M99"},
        DripCase{"a LOOP without numbers",
                 {"N1 X1", "(LOOP )", "M30"},
                 {},
                 {"N1 X1"},
                 "Block 0 not found|in (LOOP )"},
        DripCase{"a LOOP to a block that is not there",
                 {"N1 X1", "(LOOP 700,2)", "M30"},
                 {},
                 {"N1 X1"},
                 "Block 700 not found|in (LOOP 700,2)"},
        DripCase{"a subprogram neither in a file nor in the program",
                 {"G01 X1", "M98 P300", "G01 X2"},
                 {},
                 {"G01 X1"},
                 "Subprogram 300 not found|in M98 P300"},
        DripCase{"a call without P", {"M98", "M30"}, {}, {}, "Subprogram 0 not found|in M98"}),
    [](const ::testing::TestParamInfo<DripCase> &info) {
        return "case" + std::to_string(info.index);
    });

TEST_F(DripFeedFixture, StopWhileAFileIsSentEndsTheSendThere)
{
    PtyPair pty;
    // The machine reads slowly, so the file is still going out when stopped.
    MachineReader reader(pty.master_fd(), 9600);
    use_device(0, pty.slave_path());
    record().send_char_or_line = 1;
    record().AfterString = QStringLiteral("TRAIL");
    QByteArray file;
    for (int i = 1; i <= 50000; ++i)
        file += "N" + QByteArray::number(i) + " X1\n";
    write_file("O0100.NC", file);
    ws.set_program(0, {"M98 P100", "AFTER THE CALL", "M30"});

    frame_send(machine());
    ASSERT_TRUE(reader.wait_for(200, 5000));
    frame_cancel_send(machine());
    ASSERT_TRUE(wait_note(0, "Send Cancelled", 2000));
    EXPECT_TRUE(wait_until([&] { return ws.button_enabled(0, FrameButton::Send); }));
    EXPECT_TRUE(machine().sender().wait_for_worker(2000));

    reader.set_baud(0);
    process_events_for(300);
    const QByteArray got = reader.received();
    EXPECT_TRUE(got.startsWith("N1 X1\r\nN2 X1\r\n"));
    EXPECT_FALSE(got.contains("AFTER"));
    EXPECT_FALSE(got.contains("TRAIL"));
    EXPECT_FALSE(ws.has_note(0, "Finished Sending"));
    EXPECT_EQ(record().current_sub_level, 0);
}

} // namespace
} // namespace dnc::test
