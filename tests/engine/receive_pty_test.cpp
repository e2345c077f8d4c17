// Receiving over a pseudo-terminal, the test playing the control: the end
// rules, what happens to each byte, the file name on the first line, the
// idle timer, saving the editor, a direct receive.
#include "comm/fake_serial_line.h"
#include "engine/receive_fixture.h"

#include <QElapsedTimer>
#include <algorithm>
#include <gtest/gtest.h>

namespace dnc::test
{
namespace
{

const QString kFinished = QStringLiteral("Finished Receiving");

// A string literal's bytes, NUL included.
template <std::size_t N> QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

TEST(ReceivePty, EndRulesAndWhatEachByteDoes)
{
    struct Case {
        const char *what;
        QByteArray keys;
        QByteArray sent;
        QStringList editor;
    };
    const Case cases[] = {
        {"DC4 ends it by default and is not stored",
         "",
         raw("%\r\nO1000\r\nG01 X1.5\r\n%\r\n\x14"),
         {"%", "O1000", "G01 X1.5", "%"}},
        {"a last line without line end before DC4", "", raw("O1\nM30\x14"), {"O1", "M30"}},
        {"second percent: both percent lines kept, nothing after them",
         "EndChar20=0\nEndSecondPercent=1\n",
         raw("%\nO1\nG1\n%\n"),
         {"%", "O1", "G1", "%"}},
        {"end string M30: its line is the last",
         "EndChar20=0\nEndOnString=1\n"
         "EndofReceiveString=M30\n",
         raw("%\nG1\nM30\n"),
         {"%", "G1", "M30"}},
        {"ETX with EndChar34", "EndChar34=1\n", raw("%\nG1\n%\n\x03"), {"%", "G1", "%"}},
        {"EOT with EndChar34",
         "EndChar20=0\nEndChar34=1\n",
         raw("%\nG1\n%\n\x04"),
         {"%", "G1", "%"}},
        {"ETX and EOT dropped without EndChar34",
         "",
         raw("G\x03"
             "1\x04\n\x14"),
         {"G1"}},
        {"NUL and ESC dropped, DC2 not stored",
         "",
         raw("G\x00"
             "0\x1b"
             "1\x12\n\x14"),
         {"G01"}},
        {"/// lines never reach the editor",
         "",
         raw("%\n///SECRET\nG1\n%\n\x14"),
         {"%", "G1", "%"}},
        {"blank lines stripped and lines trimmed",
         "StripBlankLines=1\n",
         raw("%\n  G1 X1  \n\n   \nG2\n%\n\x14"),
         {"%", "G1 X1", "G2", "%"}},
        {"strip characters", "StripChars=<32><9>\n", raw("G1 X\t1\n\x14"), {"G1X1"}},
        {"ISO: parity removed, CR with parity dropped",
         "PunchType=3\n",
         raw("\xC7\x30\xB1\x8D\x0A\x14"),
         {"G01"}},
        {"Latin-1 bytes kept",
         "",
         raw("(\xB0\xFF)\n\x14"),
         {QString("(") + QChar(0xB0) + QChar(0xFF) + ")"}},
    };
    for (const Case &c : cases) {
        ServedMachine served(c.keys);
        served.open();
        served.receive();
        served.control_sends(c.sent);
        EXPECT_TRUE(served.wait_for_note(kFinished)) << c.what;
        EXPECT_EQ(served.editor(), c.editor) << c.what;
        EXPECT_EQ(served.note_count(kFinished), 1) << c.what;
        EXPECT_FALSE(served.record().receiving_flag) << c.what;
    }
}

TEST(ReceivePty, FirstLineNamesTheFile)
{
    ServedMachine served;
    served.open();
    served.receive();
    served.control_sends("$O1234.NC%\nG1\n%\n\x14");
    ASSERT_TRUE(served.wait_for_note(kFinished));
    EXPECT_TRUE(wait_until([&] { return served.file_name() == "O1234.NC"; }));
    EXPECT_TRUE(served.workspace().has_note(0, "Receiving Data"));
}

TEST(ReceivePty, IdleTimerEndsTheReceive)
{
    ServedMachine served("EndChar20=0\nAfterReceiveTimer=1\nAutoReceiveSeconds=1\n");
    served.open();
    served.receive();
    QElapsedTimer since_last_line;
    served.control_sends("%\nG1\n");
    since_last_line.start();
    // The last line has no line end: the finish takes it too.
    served.control_sends("M30");
    ASSERT_TRUE(served.wait_for_note(kFinished));
    EXPECT_GE(since_last_line.elapsed(), 900);
    EXPECT_EQ(served.editor(), QStringList({"%", "G1", "M30"}));
    process_events_for(1500);
    EXPECT_EQ(served.note_count(kFinished), 1);
}

TEST(ReceivePty, SavedFileHoldsEveryByteThatArrived)
{
    ServedMachine served("DefaultExt=NC\nDefaultSaveDir={data}progs/\n");
    served.open();
    served.receive();
    served.control_sends("%\r\nO1000 (PART \xB0)\r\nG01 X1. Y-2.\r\n\r\nM30\r\n%\r\n\x14");
    ASSERT_TRUE(served.wait_for_note(kFinished));

    // The folder is not there yet: nothing saved, nothing lost, and the
    // note says which folder is missing.
    EXPECT_FALSE(served.receiving().save_editor_as(served.machine(), "P1"));
    EXPECT_FALSE(served.workspace().has_note(0, "File Saved"));
    const QString last = served.workspace().last_note(0);
    EXPECT_TRUE(last.contains(served.path("progs"))) << last.toStdString();
    EXPECT_EQ(served.editor().size(), 6);

    served.make_folder("progs");
    EXPECT_TRUE(served.receiving().save_editor_as(served.machine(), "P1"));
    EXPECT_TRUE(served.workspace().has_note(0, "File Saved"));
    EXPECT_EQ(served.read_file("progs/P1.NC"),
              QByteArray("%\nO1000 (PART \xB0)\nG01 X1. Y-2.\n\nM30\n%\n"));
    EXPECT_TRUE(wait_until([&] { return served.file_name() == served.path("progs/P1.NC"); }));
    EXPECT_FALSE(served.record().memo_modified);
}

TEST(ReceivePty, DirectReceiveWritesTheFile)
{
    ServedMachine served;
    served.open();
    QByteArray program = "%\n";
    for (int i = 1; i <= 200; ++i)
        program += "N" + QByteArray::number(i) + " G01 X" + QByteArray::number(i) + ".5\n";
    program += "%\n";
    ASSERT_TRUE(served.receiving().start_direct_receive(served.machine(), served.path("d.nc")));
    served.control_sends(program + "\x14");
    ASSERT_TRUE(served.wait_for_note("Finished Receiving Direct"));
    EXPECT_EQ(served.read_file("d.nc"), program);
    EXPECT_TRUE(served.editor().isEmpty());
    EXPECT_FALSE(served.record().direct_file);
    const QStringList notes = served.workspace().notes(0);
    EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [](const QString &note) {
        return note.startsWith("Received") && note.endsWith(" Chars");
    }));
}

TEST(ReceivePty, OverfullInputPausesTheMachine)
{
    ServedMachine served;
    auto line = std::make_unique<FakeSerialLine>();
    FakeSerialLine &fake = *line;
    served.machine().port().use_line(std::move(line));
    served.open();
    served.receive();
    const QByteArray long_line(5000, 'X');
    fake.inject(long_line + "\n\x14");
    ASSERT_TRUE(served.wait_for_note(kFinished));
    // XOFF before the chunk is handled, XON after it.
    EXPECT_EQ(fake.written(), QByteArray("\x13\x11"));
    EXPECT_EQ(served.editor(), QStringList({QString(long_line)}));
}

} // namespace
} // namespace dnc::test
