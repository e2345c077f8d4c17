// The fake line is what engine tests stand on: its flow control and timing
// must behave like a UART with its driver.
#include "comm/fake_serial_line.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace dnc
{
namespace
{

using namespace std::chrono_literals;

SerialConfig config_with(DriverFlow flow, int out_buffer = 64)
{
    SerialConfig config;
    config.device = "fake";
    config.flow = flow;
    config.out_buffer = out_buffer;
    return config;
}

TEST(FakeSerialLine, EventsFireOnItsOwnThread)
{
    FakeSerialLine line;
    std::thread::id cts_thread, data_thread;
    bool cts_seen = true;
    QByteArray data;
    SerialEvents events;
    events.received = [&](const QByteArray &b) {
        data_thread = std::this_thread::get_id();
        data += b;
    };
    events.cts_changed = [&](bool on) {
        cts_thread = std::this_thread::get_id();
        cts_seen = on;
    };
    line.set_events(events);
    ASSERT_TRUE(line.open(config_with(DriverFlow::None), nullptr));
    line.set_cts(false);
    line.inject("G01\n");
    line.wait_events_delivered();
    EXPECT_FALSE(cts_seen);
    EXPECT_EQ(data, "G01\n");
    EXPECT_EQ(cts_thread, line.event_thread_id());
    EXPECT_EQ(data_thread, line.event_thread_id());
    EXPECT_NE(cts_thread, std::this_thread::get_id());
}

TEST(FakeSerialLine, XonXoffDriverStopsAtDc3AndKeepsItOutOfTheData)
{
    FakeSerialLine line;
    ASSERT_TRUE(line.open(config_with(DriverFlow::XonXoff), nullptr));
    line.inject("\x13");
    EXPECT_TRUE(line.transmitter_stopped());
    std::atomic<bool> abort{false};
    std::thread writer([&] { line.write(QByteArray(100, 'X').constData(), 100, &abort); });
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(line.written().size(), 0);
    EXPECT_EQ(line.output_queue(), 64); // queue full, the writer waits
    line.inject("A\x11"
                "B");
    writer.join();
    EXPECT_EQ(line.written().size(), 100);
    EXPECT_EQ(line.read_pending(), "AB");
}

TEST(FakeSerialLine, HardwareFlowHoldsOutputWhileCtsIsLow)
{
    FakeSerialLine line;
    ASSERT_TRUE(line.open(config_with(DriverFlow::RtsCts), nullptr));
    line.set_cts(false);
    EXPECT_EQ(line.write("abc", 3), 3); // fits the queue
    EXPECT_EQ(line.written(), "");
    line.set_cts(true);
    EXPECT_EQ(line.written(), "abc");
}

TEST(FakeSerialLine, HeldTransmitterIsReleasedByAbortAndByDc1WithXonXoff)
{
    FakeSerialLine line;
    ASSERT_TRUE(line.open(config_with(DriverFlow::None, 8), nullptr));
    line.hold_transmitter();
    std::atomic<bool> abort{false};
    qint64 accepted = -1;
    std::thread writer([&] { accepted = line.write("0123456789ABCDEF", 16, &abort); });
    std::this_thread::sleep_for(20ms);
    abort = true;
    writer.join();
    EXPECT_EQ(accepted, 8);
    EXPECT_EQ(line.written(), "");

    line.set_driver_flow(DriverFlow::XonXoff);
    line.inject("\x11");
    EXPECT_EQ(line.written(), "01234567");
}

TEST(FakeSerialLine, DrainsAtTheBaudRate)
{
    FakeSerialLine line;
    ASSERT_TRUE(line.open(config_with(DriverFlow::None, 32), nullptr));
    line.set_drain_baud(9600); // 960 characters per second
    const auto start = std::chrono::steady_clock::now();
    QByteArray program(192, 'N');
    EXPECT_EQ(line.write(program.constData(), program.size()), program.size());
    // The writer waited for the UART: the queue held at most 32 bytes.
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 120ms);
    ASSERT_TRUE(line.wait_for_written(program.size(), 2000));
    EXPECT_EQ(line.written(), program);
}

TEST(FakeSerialLine, VanishClosesTheLineAndFiresLost)
{
    FakeSerialLine line;
    QString reason;
    SerialEvents events;
    events.lost = [&](const QString &r) { reason = r; };
    line.set_events(events);
    ASSERT_TRUE(line.open(config_with(DriverFlow::None), nullptr));
    line.vanish("unplugged");
    line.wait_events_delivered();
    EXPECT_FALSE(line.is_open());
    EXPECT_EQ(reason, "unplugged");
    EXPECT_EQ(line.write("x", 1), 0);
    EXPECT_TRUE(line.open(config_with(DriverFlow::None), nullptr));
}

} // namespace
} // namespace dnc
