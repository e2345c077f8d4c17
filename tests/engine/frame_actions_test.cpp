// The frame's actions around a send (Send, Clear, Reset, repeat), the
// worker's life cycle, and the hook points where scripts, LOOP blocks and
// subprograms join the send step. The machine is a pseudo-terminal read as
// fast as it can.
#include "send_fixture.h"

namespace dnc::test
{
namespace
{

class FrameActions : public SendFixture
{
protected:
    void SetUp() override
    {
        SendFixture::SetUp();
        ASSERT_TRUE(pty.ok());
        use_device(0, pty.slave_path());
    }
    QByteArray take(int ms = 100) { return pty.read_for(ms); }

    PtyPair pty;
};

TEST_F(FrameActions, SendWithAnEmptyEditorOrOneEmptyLineDoesNothing)
{
    for (const QStringList &program : {QStringList(), QStringList{""}}) {
        ws.set_program(0, program);
        frame_send(machine());
        process_events_for(50);
        EXPECT_TRUE(ws.notes(0).isEmpty());
        EXPECT_TRUE(ws.button_enabled(0, FrameButton::Send));
        EXPECT_FALSE(machine().port().is_open());
    }
}

TEST_F(FrameActions, ResetDuringASendEndsItAndKeepsTheEditor)
{
    MachineReader reader(pty.master_fd(), 9600);
    QStringList lines;
    for (int i = 0; i < 50000; ++i)
        lines << QStringLiteral("G01 X%1").arg(i);
    ws.set_program(0, lines);
    frame_send(machine());
    ASSERT_TRUE(reader.wait_for(50, 5000));

    frame_reset(machine());
    EXPECT_TRUE(machine().sender().wait_for_worker(2000));
    EXPECT_TRUE(wait_until([&] { return ws.button_enabled(0, FrameButton::Send); }));
    EXPECT_FALSE(ws.has_note(0, "Finished Sending"));
    EXPECT_EQ(ws.editor_line_count(0), 50000);
    EXPECT_FALSE(ws.port_display(0).isEmpty());
    EXPECT_FALSE(record().punching);
}

TEST_F(FrameActions, ClearEmptiesTheEditorAfterTheSendEnded)
{
    MachineReader reader(pty.master_fd(), 9600);
    QStringList lines;
    for (int i = 0; i < 50000; ++i)
        lines << QStringLiteral("G01 X%1").arg(i);
    ws.set_program(0, lines);
    ws.set_and_display_filename(0, "/nc/O1000.NC");
    frame_send(machine());
    ASSERT_TRUE(reader.wait_for(50, 5000));

    frame_clear(machine(), true);
    EXPECT_TRUE(machine().sender().wait_for_worker(2000));
    EXPECT_EQ(ws.editor_line_count(0), 0);
    EXPECT_TRUE(ws.file_name(0).isEmpty());
    EXPECT_EQ(ws.last_note(0), "COM1 Ready");
    EXPECT_TRUE(ws.button_enabled(0, FrameButton::Send));
}

TEST_F(FrameActions, ClearEndsAWaitForTheMachinesStartSignal)
{
    record().comm_handshake = HandshakeXonXoff;
    record().WaitForSignalChecked = true;
    ws.set_program(0, {"G01 X1"});
    frame_send(machine());
    ASSERT_TRUE(wait_note(0, "Waiting For Remote Start"));

    frame_clear(machine(), false);
    ASSERT_TRUE(pty.send("\x11"));
    process_events_for(200);
    EXPECT_EQ(take(), QByteArray());
    EXPECT_FALSE(machine().sender().worker_running());
}

TEST_F(FrameActions, RepeatSendRunsResetAndSendAgainAfterTheSend)
{
    ws.set_program(0, {"G01 X1"});
    frame_send(machine());
    record().RepeatSend = true; // as a script sets it while the send runs
    ASSERT_TRUE(wait_until([&] { return ws.notes(0).count("Finished Sending") == 2; }));
    process_events_for(100);
    EXPECT_EQ(take(), "G01 X1\r\nG01 X1\r\n");
    EXPECT_EQ(ws.notes(0).count("Finished Sending"), 2);
}

TEST_F(FrameActions, ASecondStartReplacesTheRunningWorker)
{
    MachineReader reader(pty.master_fd());
    QStringList lines;
    QByteArray program;
    for (int i = 0; i < 200; ++i) {
        lines << QStringLiteral("N%1").arg(i);
        program += lines.last().toLatin1() + "\r\n";
    }
    ws.set_program(0, lines);
    // Paced by 9600 baud: the first send is still running when replaced.
    record().comm_handshake = HandshakeXonXoff;
    record().AfterString = QStringLiteral("END");
    ASSERT_TRUE(machine().port().open_port());
    machine().sender().start_punch();
    ASSERT_TRUE(reader.wait_for(20, 5000));
    machine().sender().start_punch();

    ASSERT_TRUE(wait_note(0, "Finished Sending", 10000));
    ASSERT_TRUE(machine().sender().wait_for_worker(2000));
    process_events_for(100);
    const QByteArray got = reader.received();
    EXPECT_TRUE(got.endsWith(program + "END")) << got.right(40).toStdString();
    EXPECT_LT(got.size(), 2 * program.size());
    EXPECT_EQ(got.count("END"), 1);
    EXPECT_EQ(ws.notes(0).count("Finished Sending"), 1);
}

TEST_F(FrameActions, TheWorkerSendsFromASnapshotAndCoalescesProgress)
{
    MachineReader reader(pty.master_fd());
    QStringList lines;
    for (int i = 0; i < 5000; ++i)
        lines << QStringLiteral("N%1 G01 X%2").arg(i).arg(i);
    ws.set_program(0, lines);
    frame_send(machine());
    ASSERT_TRUE(wait_note(0, "Finished Sending", 10000));

    EXPECT_EQ(ws.editor_reads(0), 1);
    const QList<int> progress = ws.progress(0);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_LE(progress.size(), 102);
    EXPECT_EQ(progress.last(), 0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end() - 1));
}

TEST_F(FrameActions, AnEditedProgramIsReadAgain)
{
    MachineReader reader(pty.master_fd(), 4800);
    ws.set_program(0, {"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8"});
    record().punch_wait = 30;
    record().send_char_or_line = 1;
    frame_send(machine());
    ASSERT_TRUE(reader.wait_for(4, 5000));
    ws.set_program(0, {"A1", "A2", "A3", "A4", "B5", "B6", "B7", "B8"});
    ASSERT_TRUE(wait_note(0, "Finished Sending"));
    reader.set_baud(0);
    ASSERT_TRUE(reader.wait_for(32, 2000));
    EXPECT_TRUE(reader.received().endsWith("B8\r\n"));
}

TEST_F(FrameActions, AutoServeHandsTheFinishedSendBackToTheRequestState)
{
    int applied = 0;
    engine->hooks().apply_request_state = [&](Machine &m) {
        ++applied;
        EXPECT_EQ(m.record().receive_or_send, RequestReset);
    };
    record().auto_dnc_flag = true;
    record().WaitForSignalChecked = true;
    ASSERT_TRUE(machine().port().open_port()); // an auto-serve machine keeps it open
    ws.set_program(0, {"G01"});
    frame_send(machine());
    ASSERT_TRUE(wait_note(0, "Waiting For Remote Start"));
    ASSERT_TRUE(pty.send("\x11"));
    ASSERT_TRUE(wait_until([&] { return applied == 1; }));
    EXPECT_EQ(take(), "G01\r\n");
    EXPECT_EQ(ws.last_colour(0), NoteColour::AutoServe);
}

TEST_F(FrameActions, OutputLineScriptRewritesEachLine)
{
    engine->hooks().output_line_script = [](Machine &, QString &line) {
        line.replace(QStringLiteral("X"), QStringLiteral("Y"));
    };
    record().SendLineScript = QStringLiteral("/scripts/out.pcu");
    ws.set_program(0, {"G01 X1", "G01 X2"});
    frame_send(machine());
    ASSERT_TRUE(wait_note(0, "Finished Sending"));
    EXPECT_EQ(take(), "G01 Y1\r\nG01 Y2\r\n");
}

TEST_F(FrameActions, SubprogramHookDecidesWhatIsSentAndWhere)
{
    // Line 2 jumps to line 4 without being sent; line 5 stops the send.
    engine->hooks().subprogram_line = [](Machine &m, const QString &line) {
        if (line.startsWith(QStringLiteral("M98"))) {
            m.record().global_line_index = 4;
            return DripFeedStep::Continue;
        }
        if (line.startsWith(QStringLiteral("STOP")))
            return DripFeedStep::Stop;
        return DripFeedStep::Send;
    };
    record().UseSubprograms = true;
    record().AfterString = QStringLiteral("END");
    ws.set_program(0, {"N1", "M98 P100", "N3", "N4", "STOP", "N6"});
    frame_send(machine());
    ASSERT_TRUE(wait_note(0, "Send Cancelled"));
    EXPECT_EQ(take(), "N1\r\nN4\r\n");
    EXPECT_TRUE(wait_until([&] { return ws.button_enabled(0, FrameButton::Send); }));
}

TEST_F(FrameActions, ABlankLineInsideALoopLeavesItsPassCountAlone)
{
    int markers = 0;
    engine->hooks().loop_line = [&](Machine &m, const QString &) {
        ++markers;
        m.record().global_loop_count = 5;
        m.record().global_line_index = m.record().global_line_index + 1;
        return DripFeedStep::Continue;
    };
    record().UseLOOP = true;
    record().StripBlankLines = true;
    ws.set_program(0, {"(LOOP 1,2)", "", "G01"});
    frame_send(machine());
    ASSERT_TRUE(wait_note(0, "Finished Sending"));
    EXPECT_EQ(take(), "G01\r\n");
    EXPECT_EQ(markers, 1);
    EXPECT_EQ(record().global_loop_count, 5);
}

TEST_F(FrameActions, SingleLineOutputPath)
{
    ASSERT_TRUE(machine().port().open_port());
    // "Other" code shifting each character by one: converted once.
    MachineSettingsRecord &r = record();
    r.punch_format = PunchOther;
    for (int i = 0; i < 256; ++i)
        r.trans_chars_out[std::size_t(i)] = std::uint8_t(i + 1);
    for (int by_line : {0, 1}) {
        r.send_char_or_line = by_line;
        EXPECT_EQ(machine().sender().punch_line_main(QStringLiteral("AB")), 0);
        EXPECT_EQ(take(), "BC\x0b");
    }
    r.abort2 = true;
    EXPECT_EQ(machine().sender().punch_line_main(QStringLiteral("AB")), 1);
    EXPECT_EQ(ws.last_note(0), "Send Cancelled");
    EXPECT_EQ(take(), QByteArray());
}

} // namespace
} // namespace dnc::test
