// The machine object: how its notes look, the remote-app rule of messages,
// the flow-control characters from the receive side, and its timers.
#include "send_fixture.h"

#include <thread>

namespace dnc::test
{
namespace
{

struct NoteCase {
    int file_type;
    bool auto_serve;
    const char *expected_text;
    NoteColour expected_colour;

    friend void PrintTo(const NoteCase &c, std::ostream *out)
    {
        *out << "file type " << c.file_type << (c.auto_serve ? ", auto-serve" : "");
    }
};

class MachineNotes : public SendFixture, public ::testing::WithParamInterface<NoteCase>
{
};

TEST_P(MachineNotes, PrefixAndColourFollowFileTypeThenAutoServe)
{
    const NoteCase c = GetParam();
    record(1).file_type = c.file_type;
    record(1).auto_dnc_flag = c.auto_serve;
    // Notes come from any thread.
    std::thread([&] { machine(1).note(QStringLiteral("Sending Data")); }).join();
    EXPECT_EQ(ws.last_note(1), c.expected_text);
    EXPECT_EQ(ws.last_colour(1), c.expected_colour);
    EXPECT_TRUE(ws.notes(0).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MachineNotes,
    ::testing::Values(NoteCase{FileNormal, false, "Sending Data", NoteColour::Normal},
                      NoteCase{FileNormal, true, "Sending Data", NoteColour::AutoServe},
                      NoteCase{FileBinary, true, "Binary-Sending Data", NoteColour::Binary},
                      NoteCase{FileMazatrol, false, "Mazatrol-Sending Data", NoteColour::Mazatrol},
                      NoteCase{FileMazatrolT1, true, "Mazatrol-Sending Data",
                               NoteColour::Mazatrol}));

TEST_F(SendFixture, MessagesBecomeNotesOfTheCurrentMachineWithTheRemoteApp)
{
    ws.set_message_answer(AnswerYes);
    EXPECT_EQ(engine->show_message("No File Selected", "", MessageOk), AnswerYes);
    EXPECT_EQ(ws.messages(), QStringList{"No File Selected||0"});

    engine->set_use_remote_app(true);
    engine->set_current_machine(1);
    EXPECT_EQ(engine->show_message("No File Selected", "", MessageYesNo), AnswerNone);
    EXPECT_EQ(ws.last_note(1), "No File Selected ");
    EXPECT_EQ(ws.messages().size(), 1);
    // Kind 5 must always be seen.
    EXPECT_EQ(engine->show_message("Script error", "line 3", MessageAlwaysDialog), AnswerYes);
    EXPECT_EQ(ws.messages().size(), 2);
}

struct FlowCase {
    const char *name;
    int handshake;
    int format;
    QByteArray bytes;
    bool xon_before;
    bool xon_after;

    friend void PrintTo(const FlowCase &c, std::ostream *out) { *out << c.name; }
};

class FlowCharacters : public SendFixture, public ::testing::WithParamInterface<FlowCase>
{
};

TEST_P(FlowCharacters, SetTheFlowStateByHandshake)
{
    const FlowCase &c = GetParam();
    MachineSettingsRecord &r = record();
    r.comm_handshake = c.handshake;
    r.punch_format = c.format;
    r.xon = c.xon_before;
    std::thread([&] { machine().received(c.bytes); }).join();
    EXPECT_EQ(bool(r.xon), c.xon_after) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FlowCharacters,
    ::testing::Values(
        FlowCase{"XON/XOFF: DC3 stops", HandshakeXonXoff, PunchAscii, "G\x13", true, false},
        FlowCase{"XON/XOFF: DC1 goes on", HandshakeXonXoff, PunchAscii, "\x11", false, true},
        FlowCase{"last one counts", HandshakeXonXoff, PunchAscii, "\x13\x11", false, true},
        FlowCase{"ISO: DC3 with parity", HandshakeXonXoff, PunchIso, "\x93", true, false},
        FlowCase{"None ignores DC3", HandshakeNone, PunchAscii, "\x13", true, true},
        FlowCase{"None takes DC1", HandshakeNone, PunchAscii, "\x11", false, true},
        FlowCase{"RTS/CTS ignores DC3", HandshakeRtsCts, PunchAscii, "\x13", true, true},
        FlowCase{"RTS/CTS ignores DC1", HandshakeRtsCts, PunchAscii, "\x11", false, false}),
    [](const ::testing::TestParamInfo<FlowCase> &info) {
        return "case" + std::to_string(info.index);
    });

TEST_F(SendFixture, AnInstalledReceiveHandlerGetsTheBytesInstead)
{
    QByteArray seen;
    engine->hooks().received = [&](Machine &, const QByteArray &bytes) { seen += bytes; };
    record().comm_handshake = HandshakeXonXoff;
    record().xon = true;
    machine().received("\x13");
    EXPECT_EQ(seen, "\x13");
    EXPECT_TRUE(record().xon);
}

TEST_F(SendFixture, TimersStartedFromAnyThreadFireOnTheUiThread)
{
    std::thread::id fired_on;
    int fired = 0;
    engine->hooks().finish_timer = [&](Machine &) {
        fired_on = std::this_thread::get_id();
        ++fired;
    };
    std::thread([&] { machine().start_timer(MachineTimer::Finish); }).join();
    ASSERT_TRUE(wait_until([&] { return fired == 1; }, 2000));
    EXPECT_EQ(fired_on, std::this_thread::get_id());
    EXPECT_FALSE(machine().timer_active(MachineTimer::Finish));
}

TEST_F(SendFixture, RemovingASendingMachineStopsItsWorker)
{
    PtyPair pty;
    MachineReader reader(pty.master_fd(), 2400);
    use_device(1, pty.slave_path());
    QStringList lines;
    for (int i = 0; i < 20000; ++i)
        lines << QStringLiteral("N%1").arg(i);
    ws.set_program(1, lines);
    frame_send(machine(1));
    ASSERT_TRUE(reader.wait_for(10, 5000));
    engine->set_machine_count(1);
    EXPECT_EQ(engine->machine_count(), 1);
    EXPECT_EQ(engine->find_machine(1), nullptr);
}

} // namespace
} // namespace dnc::test
