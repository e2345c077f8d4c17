// Sending with the hardware handshakes, on the fake line: its CTS and its
// driver's XON/XOFF are what a pseudo-terminal cannot show.
#include "send_fixture.h"

namespace dnc::test
{
namespace
{

QStringList program_of(int lines, QByteArray *expected)
{
    QStringList out;
    for (int i = 1; i <= lines; ++i) {
        out << QStringLiteral("N%1 G01 X%2").arg(i).arg(i * 3);
        *expected += out.last().toLatin1() + "\r\n";
    }
    return out;
}

// The line stays still for a while: nothing goes out.
bool output_stays_still(const FakeSerialLine &fake, int ms)
{
    process_events_for(30); // what was already on its way
    const qsizetype before = fake.written().size();
    process_events_for(ms);
    return fake.written().size() == before;
}

TEST_F(SendFixture, RtsCtsWaitsForCtsToStartAndPausesWhileItIsLow)
{
    FakeSerialLine &fake = use_fake();
    fake.set_cts(false);
    fake.set_drain_baud(9600);
    MachineSettingsRecord &r = record();
    r.comm_handshake = HandshakeRtsCts;
    r.WaitForSignalChecked = true;
    QByteArray expected;
    ws.set_program(0, program_of(60, &expected));

    frame_send(machine());
    ASSERT_TRUE(wait_note(0, "Waiting For Remote Start"));
    EXPECT_TRUE(output_stays_still(fake, 200));
    EXPECT_TRUE(fake.written().isEmpty());

    fake.set_cts(true);
    ASSERT_TRUE(wait_until([&] { return fake.written().size() >= 100; }));
    fake.set_cts(false);
    EXPECT_TRUE(output_stays_still(fake, 200));
    EXPECT_FALSE(r.xon);
    fake.set_cts(true);

    ASSERT_TRUE(wait_note(0, "Finished Sending"));
    ASSERT_TRUE(fake.wait_for_written(expected.size(), 5000));
    EXPECT_EQ(fake.written(), expected);
}

TEST_F(SendFixture, HwXonXoffLeavesDc3ToTheDriverAndTheIndicatorFollowsTheCharacters)
{
    FakeSerialLine &fake = use_fake();
    fake.set_drain_baud(9600);
    MachineSettingsRecord &r = record();
    r.comm_handshake = HandshakeHwXonXoff;
    QByteArray expected;
    ws.set_program(0, program_of(60, &expected));

    frame_send(machine());
    ASSERT_TRUE(wait_until([&] { return fake.written().size() >= 100; }));
    fake.inject("\x13");
    EXPECT_TRUE(output_stays_still(fake, 200));
    EXPECT_TRUE(fake.transmitter_stopped());
    fake.inject("\x11");

    ASSERT_TRUE(wait_note(0, "Finished Sending"));
    ASSERT_TRUE(fake.wait_for_written(expected.size(), 5000));
    EXPECT_EQ(fake.written(), expected);
    EXPECT_TRUE(ws.flow_indicator(0).contains(true));
    // 250 ms after the last character the indicator goes off again.
    EXPECT_TRUE(wait_until(
        [&] { return !ws.flow_indicator(0).isEmpty() && !ws.flow_indicator(0).last(); }, 2000));
}

TEST_F(SendFixture, HwXonXoffWithWaitStartsAtTheMachinesDc1ThenLetsTheDriverFollowIt)
{
    FakeSerialLine &fake = use_fake();
    MachineSettingsRecord &r = record();
    r.comm_handshake = HandshakeHwXonXoff;
    r.WaitForSignalChecked = true;
    QByteArray expected;
    ws.set_program(0, program_of(5, &expected));

    frame_send(machine());
    ASSERT_TRUE(wait_note(0, "Waiting For Remote Start"));
    EXPECT_TRUE(output_stays_still(fake, 200));
    EXPECT_TRUE(fake.written().isEmpty());

    fake.inject("\x11");
    ASSERT_TRUE(wait_note(0, "Finished Sending"));
    ASSERT_TRUE(fake.wait_for_written(expected.size(), 5000));
    EXPECT_EQ(fake.written(), expected);
    EXPECT_TRUE(has_xon_xoff(fake.driver_flow()));
}

} // namespace
} // namespace dnc::test
