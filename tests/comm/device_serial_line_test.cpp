// The device backend on real pseudo-terminals: the test plays the machine
// on the master side.
#include "comm/device_serial_line.h"
#include "support/pty_pair.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

namespace dnc
{
namespace
{

using namespace std::chrono_literals;
using test::MachineReader;
using test::PtyPair;

SerialConfig config_for(const QString &device)
{
    SerialConfig config;
    config.device = device;
    config.baud = 9600;
    return config;
}

// Collects what the line's events deliver, from whichever thread.
struct Received {
    std::mutex mutex;
    std::condition_variable cv;
    QByteArray bytes;
    std::thread::id thread;
    QString lost;

    SerialEvents events()
    {
        SerialEvents events;
        events.received = [this](const QByteArray &b) {
            std::lock_guard lock(mutex);
            bytes += b;
            thread = std::this_thread::get_id();
            cv.notify_all();
        };
        events.lost = [this](const QString &reason) {
            std::lock_guard lock(mutex);
            lost = reason.isEmpty() ? QStringLiteral("?") : reason;
            cv.notify_all();
        };
        return events;
    }
    bool wait_bytes(qsizetype count)
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 5s, [&] { return bytes.size() >= count; });
    }
    bool wait_lost()
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 5s, [&] { return !lost.isEmpty(); });
    }
};

TEST(DeviceSerialLine, OpensAPseudoTerminalAndReportsWhatItRefusedOnce)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    // Refusals are told once per device name for the life of the program:
    // a name of this test's own.
    QTemporaryDir dir;
    const QString link = dir.filePath("usb-Refusing");
    ASSERT_TRUE(QFile::link(pty.slave_path(), link));
    DeviceSerialLine line;
    SerialConfig config = config_for(link);
    config.data_bits = 7;
    config.parity = 'E';
    config.stop_bits = 2;
    QString error;
    ASSERT_TRUE(line.open(config, &error)) << error.toStdString();
    const QString limits = line.limits_reported();
    EXPECT_TRUE(limits.contains("7 data bits")) << limits.toStdString();
    EXPECT_TRUE(limits.contains("even parity")) << limits.toStdString();
    EXPECT_TRUE(limits.contains("modem lines")) << limits.toStdString();
    EXPECT_FALSE(limits.contains("stop bit")) << limits.toStdString();
    EXPECT_FALSE(line.has_modem_lines());
    EXPECT_FALSE(line.set_dtr(true));
    EXPECT_TRUE(line.cts()); // no CTS line: never holds the sender
    EXPECT_EQ(line.output_queue(), 0);

    line.close();
    EXPECT_FALSE(line.is_open());
    ASSERT_TRUE(line.open(config, &error)) << error.toStdString();
    EXPECT_EQ(line.limits_reported(), "") << "reported again on re-open";
}

TEST(DeviceSerialLine, MissingDeviceAndSecondOpenFailWithAReason)
{
    DeviceSerialLine line;
    QString error;
    EXPECT_FALSE(line.open(config_for("/dev/no-such-tty"), &error));
    EXPECT_TRUE(error.contains("/dev/no-such-tty")) << error.toStdString();

    PtyPair pty;
    DeviceSerialLine first, second;
    ASSERT_TRUE(first.open(config_for(pty.slave_path()), &error));
    EXPECT_FALSE(second.open(config_for(pty.slave_path()), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(DeviceSerialLine, OneMegabyteArrivesByteExact)
{
    PtyPair pty;
    DeviceSerialLine line;
    ASSERT_TRUE(line.open(config_for(pty.slave_path()), nullptr));
    QByteArray data(1 << 20, Qt::Uninitialized);
    std::mt19937 random(7);
    for (char &c : data)
        c = char(random()); // every byte value, DC1 and DC3 included
    MachineReader machine(pty.master_fd());
    // Written the way a send by line does: many short writes.
    for (qsizetype at = 0; at < data.size(); at += 61) {
        const qsizetype n = std::min<qsizetype>(61, data.size() - at);
        ASSERT_EQ(line.write(data.constData() + at, n), n);
    }
    ASSERT_TRUE(machine.wait_for(data.size(), 20000));
    EXPECT_TRUE(machine.received() == data);
}

TEST(DeviceSerialLine, ReceivedBytesArriveOnTheLinesOwnThread)
{
    PtyPair pty;
    DeviceSerialLine line;
    Received received;
    line.set_events(received.events());
    ASSERT_TRUE(line.open(config_for(pty.slave_path()), nullptr));
    ASSERT_TRUE(pty.send("%\nO1000\n\x14"));
    ASSERT_TRUE(received.wait_bytes(9));
    std::lock_guard lock(received.mutex);
    EXPECT_EQ(received.bytes, "%\nO1000\n\x14");
    EXPECT_NE(received.thread, std::this_thread::get_id());
}

TEST(DeviceSerialLine, WithoutAReceivedEventBytesWaitForReadPending)
{
    PtyPair pty;
    DeviceSerialLine line;
    ASSERT_TRUE(line.open(config_for(pty.slave_path()), nullptr));
    ASSERT_TRUE(pty.send("ABC"));
    QByteArray got;
    for (int i = 0; i < 200 && got.size() < 3; ++i) {
        std::this_thread::sleep_for(5ms);
        got += line.read_pending();
    }
    EXPECT_EQ(got, "ABC");
}

TEST(DeviceSerialLine, BlockedWriteEndsOnAbortAndOnClose)
{
    PtyPair pty; // nobody reads the machine's side: the pty fills up
    DeviceSerialLine line;
    ASSERT_TRUE(line.open(config_for(pty.slave_path()), nullptr));
    const QByteArray big(1 << 20, 'N');

    std::atomic<bool> abort{false};
    qint64 accepted = -1;
    std::thread writer([&] { accepted = line.write(big.constData(), big.size(), &abort); });
    std::this_thread::sleep_for(50ms);
    abort = true;
    writer.join();
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, big.size());

    std::thread closer_writer([&] { accepted = line.write(big.constData(), big.size()); });
    std::this_thread::sleep_for(50ms);
    line.close();
    closer_writer.join();
    EXPECT_LT(accepted, big.size());
}

TEST(DeviceSerialLine, HeldTransmitterWaitsForRelease)
{
    PtyPair pty;
    DeviceSerialLine line;
    ASSERT_TRUE(line.open(config_for(pty.slave_path()), nullptr));
    line.hold_transmitter();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        line.write("G01 X1\r\n", 8);
        done = true;
    });
    EXPECT_EQ(pty.read_for(50), "");
    line.release_transmitter();
    EXPECT_EQ(pty.read_exactly(8, 2000), "G01 X1\r\n");
    writer.join();
    EXPECT_TRUE(done);
}

TEST(DeviceSerialLine, OutputBufferIsCountedPurgedAndHandedOverAtClose)
{
    PtyPair pty;
    DeviceSerialLine line;
    ASSERT_TRUE(line.open(config_for(pty.slave_path()), nullptr));
    line.hold_transmitter();
    ASSERT_EQ(line.write("N1 G00 X0\r\n", 11), 11);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(line.output_queue(), 11);
    EXPECT_TRUE(line.purge(false, true));
    EXPECT_EQ(line.output_queue(), 0);
    line.release_transmitter();
    EXPECT_EQ(pty.read_for(50), "");

    // Bytes written just before the port closes still reach the machine.
    const QByteArray trailer = QByteArray(1500, 'N') + "M30\r\n%\x14";
    ASSERT_EQ(line.write(trailer.constData(), trailer.size()), trailer.size());
    line.close();
    EXPECT_EQ(pty.read_exactly(trailer.size(), 2000), trailer);
}

TEST(DeviceSerialLine, XonXoffDriverFlowPausesAtTheMachinesDc3)
{
    PtyPair pty;
    DeviceSerialLine line;
    SerialConfig config = config_for(pty.slave_path());
    config.flow = DriverFlow::XonXoff;
    Received received;
    line.set_events(received.events());
    ASSERT_TRUE(line.open(config, nullptr));
    ASSERT_TRUE(pty.send("\x13"));
    std::this_thread::sleep_for(50ms);
    std::thread writer([&] { line.write("N10\n", 4); });
    EXPECT_EQ(pty.read_for(100), "");
    ASSERT_TRUE(pty.send("\x11"
                         "A"));
    EXPECT_EQ(pty.read_exactly(4, 2000), "N10\n");
    writer.join();
    ASSERT_TRUE(received.wait_bytes(1));
    std::lock_guard lock(received.mutex);
    EXPECT_EQ(received.bytes, "A"); // the driver kept DC1/DC3 for itself
}

TEST(DeviceSerialLine, PurgeDiscardsPendingInput)
{
    PtyPair pty;
    DeviceSerialLine line;
    ASSERT_TRUE(line.open(config_for(pty.slave_path()), nullptr));
    ASSERT_TRUE(pty.send("old"));
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(line.purge(true, true));
    ASSERT_TRUE(pty.send("new"));
    QByteArray got;
    for (int i = 0; i < 200 && got.size() < 3; ++i) {
        std::this_thread::sleep_for(5ms);
        got += line.read_pending();
    }
    EXPECT_EQ(got, "new");
    line.close();
    EXPECT_FALSE(line.purge(true, true));
}

TEST(DeviceSerialLine, VanishedDeviceIsReportedAndTheLineRecovers)
{
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyMachine3");
    auto pty = std::make_unique<PtyPair>();
    ASSERT_TRUE(QFile::link(pty->slave_path(), link));

    DeviceSerialLine line;
    Received received;
    line.set_events(received.events());
    ASSERT_TRUE(line.open(config_for(link), nullptr));

    pty->close_master(); // the adapter is unplugged
    ASSERT_TRUE(received.wait_lost());
    EXPECT_FALSE(line.is_open());
    EXPECT_EQ(line.write("x", 1), 0);

    // Plugged in again (a new device node behind the same name).
    pty = std::make_unique<PtyPair>();
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(pty->slave_path(), link));
    QString error;
    ASSERT_TRUE(line.open(config_for(link), &error)) << error.toStdString();
    EXPECT_EQ(line.write("G00\n", 4), 4);
    EXPECT_EQ(pty->read_exactly(4, 2000), "G00\n");
    ASSERT_TRUE(pty->send("ok"));
    EXPECT_TRUE(received.wait_bytes(2));
}

} // namespace
} // namespace dnc
