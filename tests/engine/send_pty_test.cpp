// Sending end to end over pseudo-terminals: the server opens the slave side
// as its serial line, the test (or dnc-sim) plays the machine tool on the
// master side and checks every byte that arrives.
#include "dnc-sim/sim_process.h"
#include "send_fixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <bit>

namespace dnc::test
{
namespace
{

const QStringList kProgram = {"%", "O1000", "G01 X1.5 Y-2", "M30", "%"};

// The tape codes as the machine's reader sees them, written out here
// independently of the server's own tables.
QByteArray on_tape(int format, const QByteArray &plain)
{
    QByteArray out = plain;
    for (char &c : out) {
        const auto b = std::uint8_t(c);
        if (format == PunchIso && b < 128 && std::popcount(unsigned(b)) % 2 == 1)
            c = char(b | 0x80);
        else if (format == PunchOther)
            c = char(std::uint8_t(b + 1));
    }
    return out;
}

QByteArray end_of_block(int format, int eob)
{
    if (format == PunchOther)
        return "\n";
    switch (eob) {
    case EobCrLf:
        return "\r\n";
    case EobLfCrCr:
        return "\n\r\r";
    case EobLf:
        return "\n";
    default:
        return "\r";
    }
}

struct TapeCase {
    int format;
    int eob;
    bool by_line;

    friend void PrintTo(const TapeCase &c, std::ostream *out)
    {
        *out << "format " << c.format << ", EOB " << c.eob
             << (c.by_line ? ", by line" : ", by char");
    }
};

class SendOverPty : public SendFixture, public ::testing::WithParamInterface<TapeCase>
{
};

TEST_P(SendOverPty, ProgramArrivesByteExactWithLeaderTrailerAndDc4)
{
    const TapeCase c = GetParam();
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    MachineReader reader(pty.master_fd());
    use_device(0, pty.slave_path());
    MachineSettingsRecord &r = record();
    r.punch_format = c.format;
    r.EOB_type = c.eob;
    r.send_char_or_line = c.by_line ? 1 : 0;
    r.BeforeString = QStringLiteral("<0><0>LEAD<13>");
    r.AfterString = QStringLiteral("TRAIL");
    r.SendChar20 = true;
    // "Other": a code that shifts every character by one.
    for (int i = 0; i < 256; ++i) {
        r.trans_chars_out[std::size_t(i)] = std::uint8_t(i + 1);
        r.trans_chars_in[std::size_t(i + 1) & 0xff] = std::uint8_t(i);
    }
    ws.set_program(0, kProgram);

    QByteArray plain("\0\0LEAD\r", 7);
    for (const QString &line : kProgram)
        plain += line.toLatin1() + end_of_block(c.format, c.eob);
    plain += "TRAIL\x14";
    const QByteArray expected = on_tape(c.format, plain);

    frame_send(machine());
    ASSERT_TRUE(wait_note(0, "Finished Sending"));
    ASSERT_TRUE(reader.wait_for(expected.size(), 5000));
    process_events_for(50);
    EXPECT_EQ(reader.received().toHex(' '), expected.toHex(' '));
    EXPECT_TRUE(ws.button_enabled(0, FrameButton::Send));
    EXPECT_FALSE(record().punching);
}

std::vector<TapeCase> tape_cases()
{
    std::vector<TapeCase> cases;
    for (int format : {PunchAscii, PunchIso, PunchOther})
        for (int eob : {EobCrLf, EobLfCrCr, EobLf, EobCr})
            for (bool by_line : {false, true})
                cases.push_back({format, eob, by_line});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(TapeCodes, SendOverPty, ::testing::ValuesIn(tape_cases()),
                         [](const ::testing::TestParamInfo<TapeCase> &info) {
                             const char *format = info.param.format == PunchAscii ? "Ascii"
                                                  : info.param.format == PunchIso ? "Iso"
                                                                                  : "Other";
                             return std::string(format) + "Eob" + std::to_string(info.param.eob) +
                                    (info.param.by_line ? "ByLine" : "ByChar");
                         });

// How the program's lines are shaped on the way out.
struct ShapeCase {
    const char *name;
    QStringList lines;
    std::function<void(MachineSettingsRecord &, RecordingWorkspace &)> setup;
    QByteArray expected;

    friend void PrintTo(const ShapeCase &c, std::ostream *out) { *out << c.name; }
};

class ProgramShaping : public SendFixture, public ::testing::WithParamInterface<ShapeCase>
{
};

QStringList numbered_lines(int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QStringLiteral("N%1").arg(i);
    return lines;
}

TEST_P(ProgramShaping, SendsWhatTheSettingsMakeOfTheProgram)
{
    const ShapeCase &c = GetParam();
    PtyPair pty;
    MachineReader reader(pty.master_fd());
    use_device(0, pty.slave_path());
    ws.set_program(0, c.lines);
    c.setup(record(), ws);

    frame_send(machine());
    ASSERT_TRUE(wait_note(0, "Finished Sending")) << c.name;
    reader.wait_for(c.expected.size(), 2000);
    process_events_for(50);
    EXPECT_EQ(reader.received(), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramShaping,
    ::testing::Values(
        ShapeCase{"SelectStart sends from the cursor line", numbered_lines(15),
                  [](MachineSettingsRecord &r, RecordingWorkspace &w) {
                      r.SelectStart = true;
                      w.set_cursor_line(0, 10);
                  },
                  "N10\r\nN11\r\nN12\r\nN13\r\nN14\r\nN15\r\n"},
        ShapeCase{"comments stripped, a comment-only line skipped",
                  {"G00 X1 (RAPID)", "(ONLY A COMMENT)", "G01 X2"},
                  [](MachineSettingsRecord &r, RecordingWorkspace &) { r.StripComments = true; },
                  "G00 X1 \r\nG01 X2\r\n"},
        ShapeCase{"empty end-comment character strips to the end of the line",
                  {"G01 X1 ;FEED", "; ALL COMMENT", "M30"},
                  [](MachineSettingsRecord &r, RecordingWorkspace &) {
                      r.StripComments = true;
                      r.StartCommentChar = QStringLiteral(";");
                      r.EndCommentChar.clear();
                  },
                  "G01 X1 \r\nM30\r\n"},
        ShapeCase{"a $name% header gets eight NULs before the %",
                  {"$O1000.NC%", "G01"},
                  [](MachineSettingsRecord &, RecordingWorkspace &) {},
                  QByteArray("$O1000.NC\0\0\0\0\0\0\0\0%\r\nG01\r\n", 25)},
        ShapeCase{"blank lines skipped with StripBlankLines",
                  {"G01", "", "G02"},
                  [](MachineSettingsRecord &r, RecordingWorkspace &) { r.StripBlankLines = true; },
                  "G01\r\nG02\r\n"},
        ShapeCase{"blank lines kept without it",
                  {"G01", "", "G02"},
                  [](MachineSettingsRecord &, RecordingWorkspace &) {},
                  "G01\r\n\r\nG02\r\n"}),
    [](const ::testing::TestParamInfo<ShapeCase> &info) {
        return "case" + std::to_string(info.index);
    });

class SendFlow : public SendFixture, public ::testing::WithParamInterface<int>
{
};

TEST_P(SendFlow, WaitForSignalSendsNothingBeforeTheMachinesDc1)
{
    PtyPair pty;
    use_device(0, pty.slave_path());
    record().comm_handshake = GetParam();
    record().WaitForSignalChecked = true;
    ws.set_program(0, kProgram);

    frame_send(machine());
    EXPECT_TRUE(wait_note(0, "Waiting For Remote Start"));
    EXPECT_EQ(pty.read_for(300), QByteArray());
    EXPECT_FALSE(ws.button_enabled(0, FrameButton::Send));

    ASSERT_TRUE(pty.send("\x11"));
    ASSERT_TRUE(wait_note(0, "Finished Sending"));
    EXPECT_EQ(pty.read_for(100), "%\r\nO1000\r\nG01 X1.5 Y-2\r\nM30\r\n%\r\n");
    const QStringList notes = ws.notes(0);
    EXPECT_LT(notes.indexOf("Waiting For Remote Start"), notes.indexOf("Sending Data"));
}

INSTANTIATE_TEST_SUITE_P(XonXoffAndNone, SendFlow,
                         ::testing::Values(int(HandshakeXonXoff), int(HandshakeNone)));

TEST_F(SendFixture, MachinesDc3AndDc1PauseAndResumeWithNothingLostOrDoubled)
{
    QTemporaryDir dir;
    const QString got = dir.filePath("got.bin");
    dncsim::SimProcess sim;
    // The control takes the program out of a 128-byte buffer slower than
    // the line brings it: it stops the server again and again.
    ASSERT_TRUE(sim.start({"--baud", "19200", "--buffer", "128", "--high", "64", "--low", "16",
                           "--exec-rate", "900", "--output", got, "--timeout", "30"}))
        << sim.errors().toStdString();
    use_device(0, sim.device());
    MachineSettingsRecord &r = record();
    r.comm_handshake = HandshakeXonXoff;
    r.comm_baud_rate = 19200;
    r.SendChar20 = true;
    QStringList lines;
    QByteArray expected;
    for (int i = 1; i <= 120; ++i) {
        lines << QStringLiteral("N%1 G01 X%2 Y-%3").arg(i).arg(i * 1.5).arg(i);
        expected += lines.last().toLatin1() + "\r\n";
    }
    expected += "\x14";
    ws.set_program(0, lines);

    frame_send(machine());
    ASSERT_TRUE(wait_note(0, "Finished Sending", 20000));
    ASSERT_TRUE(sim.wait_finished(10000));
    // How few bytes follow a DC3 depends on how soon the computer runs the
    // server's threads; bench_send_xoff measures it. Here every byte must
    // arrive once, in order, across the pauses.
    EXPECT_EQ(sim.value("end"), "dc4");
    EXPECT_GT(sim.number("dc3_sent"), 1);
    QFile file(got);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), expected);
}

TEST_F(SendFixture, StopSendsNeitherTrailerNorDc4AndSaysSendCancelled)
{
    PtyPair pty;
    // The machine reads slowly, so the send is still running when stopped.
    MachineReader reader(pty.master_fd(), 9600);
    use_device(0, pty.slave_path());
    record().send_char_or_line = 1;
    record().AfterString = QStringLiteral("TRAIL");
    record().SendChar20 = true;
    ws.set_program(0, numbered_lines(50000)); // far more than a pty holds

    frame_send(machine());
    ASSERT_TRUE(reader.wait_for(200, 5000));
    frame_cancel_send(machine());
    ASSERT_TRUE(wait_note(0, "Send Cancelled", 2000));
    EXPECT_TRUE(wait_until([&] { return ws.button_enabled(0, FrameButton::Send); }));
    EXPECT_TRUE(machine().sender().wait_for_worker(2000));

    reader.set_baud(0);
    process_events_for(300);
    const QByteArray got = reader.received();
    EXPECT_FALSE(got.contains("TRAIL"));
    EXPECT_FALSE(got.contains('\x14'));
    EXPECT_FALSE(ws.has_note(0, "Finished Sending"));
    EXPECT_FALSE(record().punching);
}

TEST_F(SendFixture, StopDuringALongCharacterDelayEndsAfterTheCurrentCharacter)
{
    PtyPair pty;
    MachineReader reader(pty.master_fd());
    use_device(0, pty.slave_path());
    record().punch_wait = 400;
    ws.set_program(0, {"ABCDEFGH"});

    frame_send(machine());
    ASSERT_TRUE(reader.wait_for(2, 5000));
    const qsizetype at_stop = reader.received_size();
    frame_cancel_send(machine());
    // Well before the 400 ms delay is over.
    ASSERT_TRUE(wait_note(0, "Send Cancelled", 200));
    process_events_for(500);
    EXPECT_LE(reader.received_size(), at_stop + 1);
}

TEST_F(SendFixture, TwoMachinesSendAtTheSameTime)
{
    PtyPair pty0;
    PtyPair pty1;
    MachineReader reader0(pty0.master_fd());
    MachineReader reader1(pty1.master_fd());
    use_device(0, pty0.slave_path());
    use_device(1, pty1.slave_path());
    QByteArray expected[2];
    for (int m = 0; m < 2; ++m) {
        // The full Send (the port is restarted), paced by the line's 19200
        // baud in the XON/XOFF mode: each send takes most of a second.
        record(m).always_init_comm = true;
        record(m).comm_handshake = HandshakeXonXoff;
        record(m).comm_baud_rate = 19200;
        QStringList lines;
        for (int i = 1; i <= 100; ++i) {
            lines << QStringLiteral("M%1 N%2 X%3").arg(m).arg(i).arg(i * 7);
            expected[m] += lines.last().toLatin1() + "\r\n";
        }
        ws.set_program(m, lines);
    }

    frame_send(machine(0));
    frame_send(machine(1));
    bool both_at_once = false;
    ASSERT_TRUE(wait_until(
        [&] {
            both_at_once =
                both_at_once || (reader0.received_size() > 0 && reader1.received_size() > 0 &&
                                 reader0.received_size() < expected[0].size() &&
                                 reader1.received_size() < expected[1].size());
            return ws.has_note(0, "Finished Sending") && ws.has_note(1, "Finished Sending");
        },
        15000));
    EXPECT_TRUE(both_at_once);
    ASSERT_TRUE(reader0.wait_for(expected[0].size(), 5000));
    ASSERT_TRUE(reader1.wait_for(expected[1].size(), 5000));
    EXPECT_EQ(reader0.received(), expected[0]);
    EXPECT_EQ(reader1.received(), expected[1]);
}

} // namespace
} // namespace dnc::test
