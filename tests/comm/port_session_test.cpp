// The port session on the fake line (the CTS line and the driver's flow
// control are needed) and on a real pseudo-terminal.
#include "comm/fake_serial_line.h"
#include "comm/port_session.h"
#include "support/pty_pair.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace dnc
{
namespace
{

using namespace std::chrono_literals;

// Records what the session reports; behaves like the engine where the
// session relies on it (the CTS handler starts a send waiting for CTS).
class RecordingHost : public PortSessionHost
{
public:
    explicit RecordingHost(MachineSettingsRecord &record) : record_(record) {}

    void note(const QString &text) override
    {
        std::lock_guard lock(mutex_);
        notes.append(text);
    }
    int show_message(const QString &title, const QString &body, int) override
    {
        std::lock_guard lock(mutex_);
        messages.append(title + ": " + body);
        return 1;
    }
    void report_problem(const QString &text) override
    {
        std::lock_guard lock(mutex_);
        problems.append(text);
    }
    void set_port_display(const QString &text) override
    {
        std::lock_guard lock(mutex_);
        display = text;
    }
    void flow_indicator_changed(bool on) override
    {
        std::lock_guard lock(mutex_);
        indicator.append(on);
    }
    void highlight_line(int line) override { highlights.append(line); }
    void start_send() override { ++sends_started; }
    bool back_plot_transfer_active() override { return back_plot; }
    void reset_action() override { ++resets; }
    void receive_action() override { ++receives; }
    void received(const QByteArray &bytes) override
    {
        std::lock_guard lock(mutex_);
        data += bytes;
        data_thread = std::this_thread::get_id();
        arrived_.notify_all();
    }
    void cts_changed(bool cts) override
    {
        record_.xon = cts;
        if (record_.waiting_for_cts_to_punch && cts) {
            record_.waiting_for_cts_to_punch = false;
            ++sends_started_by_cts;
        }
    }

    QStringList all_notes()
    {
        std::lock_guard lock(mutex_);
        return notes;
    }
    QString last_note()
    {
        std::lock_guard lock(mutex_);
        return notes.isEmpty() ? QString() : notes.last();
    }
    QByteArray received_data()
    {
        std::lock_guard lock(mutex_);
        return data;
    }
    bool wait_data(qsizetype count)
    {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, 5s, [&] { return data.size() >= count; });
    }

    QStringList notes, messages, problems;
    QString display;
    QList<bool> indicator;
    QList<int> highlights;
    int sends_started = 0;
    std::atomic<int> sends_started_by_cts{0};
    int resets = 0;
    int receives = 0;
    bool back_plot = false;
    QByteArray data;
    std::thread::id data_thread;

private:
    MachineSettingsRecord &record_;
    std::mutex mutex_;
    std::condition_variable arrived_;
};

// What is reported once per program run is remembered by device name and
// text: a test that looks for such a report uses a name of its own.
QString unique_device()
{
    return "/dev/serial/by-id/test-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

const AdapterIdentity kProlific{0, "PROLIFIC"};
const AdapterIdentity kFtdi{1, "FTDI"};

// One machine on a fake line, set up as DNC.ini's defaults would leave it.
struct Machine {
    explicit Machine(int port = 3, AdapterIdentity adapter = kFtdi)
        : host(record), session(0, record, host)
    {
        record.comm_port = port;
        record.comm_baud_rate = 9600;
        record.comm_parity = 'N';
        record.comm_data_bits = 8;
        record.comm_stop_bits = 1;
        record.punch_format = PunchAscii;
        record.comm_handshake = HandshakeXonXoff;
        record.in_buffer = 4096;
        record.out_buffer = 2048;
        auto line = std::make_unique<FakeSerialLine>();
        fake = line.get();
        session.use_line(std::move(line), adapter);
    }
    MachineSettingsRecord record;
    RecordingHost host;
    PortSession session;
    FakeSerialLine *fake = nullptr;
};

TEST(PortSession, DeviceOfAPortNumber)
{
    const QMap<int, QString> map{{3, " /dev/serial/by-id/usb-FTDI_X-if00-port0 "},
                                 {9, "socket://10.1.2.3:4001"}};
    EXPECT_EQ(device_for_port(3, map), "/dev/serial/by-id/usb-FTDI_X-if00-port0");
    EXPECT_EQ(device_for_port(9, map), "socket://10.1.2.3:4001");
    EXPECT_EQ(device_for_port(1, map), "/dev/ttyS0");
    EXPECT_EQ(device_for_port(4, map), "/dev/ttyS3");
    EXPECT_EQ(device_for_port(0, map), "");
}

TEST(PortSession, ConfigureAppliesOnlyWhatTheLineCanTake)
{
    Machine m;
    m.session.set_port_map({{3, "/dev/ttyUSB0"}});
    SerialConfig config = m.session.configure();
    EXPECT_EQ(config.device, "/dev/ttyUSB0");
    EXPECT_EQ(config.baud, 9600);

    struct Case {
        int baud, data_bits;
        char parity;
        int stop_bits;
        int expect_baud, expect_data_bits;
        char expect_parity;
        int expect_stop_bits;
    } cases[] = {
        {57600, 7, 'E', 2, 57600, 7, 'E', 2},
        {31250, 6, 'X', 3, 57600, 7, 'E', 2},   // none listed: the line keeps its settings
        {256000, 8, 'o', 1, 256000, 8, 'O', 1}, // "odd" typed by hand
        {110, 8, 'N', 1, 110, 8, 'N', 1},
    };
    for (const Case &c : cases) {
        m.record.comm_baud_rate = c.baud;
        m.record.comm_data_bits = c.data_bits;
        m.record.comm_parity = QChar(c.parity);
        m.record.comm_stop_bits = c.stop_bits;
        config = m.session.configure();
        EXPECT_EQ(config.baud, c.expect_baud) << c.baud;
        EXPECT_EQ(config.data_bits, c.expect_data_bits) << c.baud;
        EXPECT_EQ(config.parity, c.expect_parity) << c.baud;
        EXPECT_EQ(config.stop_bits, c.expect_stop_bits) << c.baud;
    }
    m.record.out_buffer = 100; // not a size a machine can have
    m.record.in_buffer = 8192;
    config = m.session.configure();
    EXPECT_EQ(config.out_buffer, 2048);
    EXPECT_EQ(config.in_buffer, 8192);
}

TEST(PortSession, HandshakeLineSetupOfEveryMode)
{
    struct Case {
        int mode;
        bool dtr, rts;
        DriverFlow flow;
        bool xon_after;
    } cases[] = {
        {HandshakeXonXoff, true, false, DriverFlow::None, true},
        {HandshakeNone, true, true, DriverFlow::None, true},
        {HandshakeHwXonXoff, true, true, DriverFlow::XonXoff, true},
        {HandshakeDtrDsrMode3, true, true, DriverFlow::None, true},
        {HandshakeRtsCts, true, false, DriverFlow::RtsCts, false},
        {HandshakeMode5, true, true, DriverFlow::RtsCts, false},
        {HandshakeMode6, true, true, DriverFlow::RtsCtsXonXoff, true},
    };
    for (const Case &c : cases) {
        Machine m;
        m.record.comm_handshake = c.mode;
        m.record.xon = true;
        ASSERT_TRUE(m.session.open_port());
        SCOPED_TRACE(c.mode);
        EXPECT_EQ(m.fake->dtr(), c.dtr);
        EXPECT_EQ(m.fake->rts(), c.rts);
        EXPECT_EQ(m.fake->driver_flow(), c.flow);
        EXPECT_EQ(m.record.xon.load(), c.xon_after);
    }
}

TEST(PortSession, PortStartDispatchesASendByHandshakeMode)
{
    struct Case {
        int mode;
        bool wait;
        AdapterIdentity adapter;
        int sends;     // start_send calls
        bool wait_xon; // waiting_for_xon_to_punch
        bool wait_cts; // waiting_for_cts_to_punch
        bool xon;      // flow state
        bool punching;
        DriverFlow flow;
        bool held; // transmitter stopped
    } cases[] = {
        {HandshakeXonXoff, false, kFtdi, 1, false, false, true, true, DriverFlow::None, false},
        {HandshakeXonXoff, true, kFtdi, 0, true, false, false, false, DriverFlow::None, false},
        {HandshakeNone, false, kFtdi, 1, false, false, true, false, DriverFlow::None, false},
        {HandshakeNone, true, kFtdi, 0, true, false, false, false, DriverFlow::None, false},
        {HandshakeHwXonXoff, false, kFtdi, 1, false, false, true, false, DriverFlow::XonXoff,
         false},
        {HandshakeHwXonXoff, true, kFtdi, 0, true, false, false, false, DriverFlow::None, false},
        {HandshakeHwXonXoff, true, kProlific, 0, true, false, false, false, DriverFlow::XonXoff,
         true},
        {HandshakeRtsCts, false, kFtdi, 1, false, false, true, false, DriverFlow::RtsCts, false},
        {HandshakeRtsCts, true, kFtdi, 0, false, true, false, false, DriverFlow::RtsCts, false},
        {HandshakeMode5, false, kFtdi, 0, false, false, false, false, DriverFlow::RtsCts, false},
        {HandshakeMode6, false, kFtdi, 1, false, false, false, false, DriverFlow::RtsCts, false},
        {HandshakeMode6, true, kFtdi, 0, true, false, false, false, DriverFlow::RtsCts, false},
    };
    for (const Case &c : cases) {
        Machine m(3, c.adapter);
        m.record.comm_handshake = c.mode;
        m.record.WaitForSignalChecked = c.wait;
        m.record.send_button_flag = true;
        m.record.xon_counter = 5;
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " wait " << c.wait << " "
                                        << c.adapter.chip.toStdString());
        ASSERT_TRUE(m.session.port_start());
        EXPECT_EQ(m.host.sends_started, c.sends);
        EXPECT_EQ(m.record.waiting_for_xon_to_punch.load(), c.wait_xon);
        EXPECT_EQ(m.record.waiting_for_cts_to_punch.load(), c.wait_cts);
        EXPECT_EQ(m.record.xon.load(), c.xon);
        EXPECT_EQ(m.record.punching.load(), c.punching);
        EXPECT_EQ(m.fake->driver_flow(), c.flow);
        EXPECT_EQ(m.fake->transmitter_stopped(), c.held);
        EXPECT_FALSE(m.record.send_button_flag);
        EXPECT_EQ(m.record.xon_counter.load(), 0);
        EXPECT_EQ(m.host.highlights, QList<int>{1});
    }
}

TEST(PortSession, SendFromTheCursorKeepsTheHighlight)
{
    Machine m;
    m.record.SelectStart = true;
    m.record.send_button_flag = true;
    ASSERT_TRUE(m.session.port_start());
    EXPECT_TRUE(m.host.highlights.isEmpty());
}

TEST(PortSession, RtsCtsLeavesTheStartToTheBackPlotTransfer)
{
    Machine m;
    m.record.comm_handshake = HandshakeRtsCts;
    m.record.send_button_flag = true;
    m.host.back_plot = true;
    ASSERT_TRUE(m.session.port_start());
    EXPECT_EQ(m.host.sends_started, 0);
}

TEST(PortSession, BinaryFileTypeTurnsTheHandshakeToRtsCts)
{
    Machine m;
    m.record.file_type = FileBinary;
    m.record.comm_handshake = HandshakeNone;
    m.record.send_button_flag = true;
    ASSERT_TRUE(m.session.port_start());
    EXPECT_EQ(m.record.comm_handshake, HandshakeRtsCts);
    EXPECT_EQ(m.host.sends_started, 0);
    EXPECT_TRUE(m.record.send_button_flag); // a binary send does not go through the dispatcher
}

TEST(PortSession, PortStartForAReceiveAndAStop)
{
    Machine m;
    m.record.receive_button_flag = true;
    m.record.punching = true;
    ASSERT_TRUE(m.session.port_start());
    EXPECT_FALSE(m.record.receive_button_flag);
    EXPECT_FALSE(m.record.punching);
    EXPECT_EQ(m.host.last_note(), "Waiting For Data");
    EXPECT_TRUE(m.fake->dtr());
    EXPECT_TRUE(m.fake->rts());

    Machine serve;
    serve.record.auto_dnc_flag = true;
    serve.record.auto_receive_flag = true;
    serve.record.set_filename("/nc/programs/O1000.NC");
    serve.record.receive_button_flag = true;
    ASSERT_TRUE(serve.session.port_start());
    EXPECT_EQ(serve.host.last_note(), "Waiting to Receive File O1000.NC");

    serve.record.clear_button_flag = true;
    ASSERT_TRUE(serve.session.port_start());
    EXPECT_FALSE(serve.record.clear_button_flag);
    EXPECT_EQ(serve.host.last_note(), "Waiting for Server Command");
}

TEST(PortSession, NotesAndPortDisplayOfOpen)
{
    Machine m;
    m.session.set_port_map({{3, unique_device()}});
    ASSERT_TRUE(m.session.port_start());
    EXPECT_EQ(m.host.last_note(), "COM3 Ready");
    EXPECT_EQ(m.host.display, "9600 Baud, 8 db, 1 sb, ASCII, None, COM3, xon, no wait");

    m.record.auto_dnc_flag = true;
    ASSERT_TRUE(m.session.port_start());
    EXPECT_EQ(m.host.last_note(), "Waiting for Server Command");

    m.fake->set_open_error("Permission denied");
    m.session.close_port();
    EXPECT_FALSE(m.session.port_start());
    EXPECT_EQ(m.host.last_note(), "Cannot Initialize Serial Port: COM3");
    EXPECT_EQ(m.host.display, "Not Connected");
    // The reason is told once, although the port start tried twice.
    EXPECT_EQ(m.host.problems.filter("Permission denied").size(), 1);
}

TEST(PortSession, SettingsLine)
{
    struct Case {
        int format;
        QString translation_file;
        char parity;
        int handshake;
        bool wait;
        int file_type;
        QString expected;
        bool message;
    } cases[] = {
        {PunchIso, "", 'E', HandshakeHwXonXoff, true, FileNormal,
         "9600 Baud, 7 db, 2 sb, ISO, Even, COM3, hwx, wait", false},
        {PunchOther, "/data/EIA-RS244.txt", 'O', HandshakeRtsCts, false, FileNormal,
         "9600 Baud, 7 db, 2 sb, EIA, Odd, COM3, cts, no wait", false},
        {PunchOther, "", 'N', HandshakeNone, false, FileNormal,
         "9600 Baud, 7 db, 2 sb, Other, None, COM3, none, no wait", true},
        {PunchAscii, "", 'N', HandshakeNone, false, FileBinary, "9600 Baud, COM3", false},
    };
    for (const Case &c : cases) {
        Machine m;
        m.record.comm_data_bits = 7;
        m.record.comm_stop_bits = 2;
        m.record.punch_format = c.format;
        m.record.CharTransFile = c.translation_file;
        m.record.comm_parity = QChar(c.parity);
        m.record.comm_handshake = c.handshake;
        m.record.WaitForSignalChecked = c.wait;
        m.record.file_type = c.file_type;
        ASSERT_TRUE(m.session.open_port());
        m.host.messages.clear();
        EXPECT_EQ(m.session.settings_line(), c.expected);
        EXPECT_EQ(m.host.messages.size(), c.message ? 1 : 0);
        if (c.message) {
            EXPECT_EQ(m.host.messages[0], "Error: \"Other\" format requires translation file");
        }
    }
    Machine closed;
    EXPECT_EQ(closed.session.settings_line(), "Not Connected");
}

TEST(PortSession, RefusedSettingsAreReportedOncePerDevice)
{
    Machine m;
    const QString device = unique_device();
    m.session.set_port_map({{3, device}});
    m.fake->set_refused_settings("7 data bits, even parity");
    ASSERT_TRUE(m.session.port_start());
    ASSERT_TRUE(m.session.port_start());
    ASSERT_EQ(m.host.problems.size(), 1);
    EXPECT_EQ(m.host.problems[0], "COM3 (" + device + ") cannot have: 7 data bits, even parity");
}

TEST(PortSession, FlowStateRedrawsTheIndicatorOnChangeOnly)
{
    Machine m;
    m.record.xon = false;
    m.session.set_flow_state(true);
    m.session.set_flow_state(true);
    m.session.set_flow_state(false);
    EXPECT_EQ(m.host.indicator, (QList<bool>{true, false}));

    ASSERT_TRUE(m.session.open_port());
    m.fake->set_cts(true);
    EXPECT_TRUE(m.session.read_cts());
    EXPECT_TRUE(m.record.xon);
    m.fake->set_cts(false);
    EXPECT_FALSE(m.session.read_cts());
    EXPECT_FALSE(m.record.xon);
}

TEST(PortSession, HwXonXoffOnAProlificAdapterHoldsUntilTheMachinesDc1)
{
    Machine m(3, kProlific);
    m.record.comm_handshake = HandshakeHwXonXoff;
    m.record.WaitForSignalChecked = true;
    m.record.send_button_flag = true;
    ASSERT_TRUE(m.session.port_start());
    // The send starts at once into the held transmitter.
    EXPECT_EQ(m.session.write_text("%\r\n"), 3);
    EXPECT_EQ(m.fake->written(), "");
    m.fake->inject("\x11");
    EXPECT_EQ(m.fake->written(), "%\r\n");
    m.fake->wait_events_delivered();
    EXPECT_EQ(m.host.received_data(), ""); // the driver kept the DC1
    m.fake->inject("\x13");
    m.session.write_text("G01\r\n");
    EXPECT_EQ(m.fake->written(), "%\r\n");
}

TEST(PortSession, HwXonXoffOnOtherAdaptersLeavesTheStartToTheReceiveHandler)
{
    Machine m(3, kFtdi);
    m.record.comm_handshake = HandshakeHwXonXoff;
    m.record.WaitForSignalChecked = true;
    m.record.send_button_flag = true;
    ASSERT_TRUE(m.session.port_start());
    m.fake->inject("\x11");
    ASSERT_TRUE(m.host.wait_data(1));
    EXPECT_EQ(m.host.received_data(), "\x11");
    // Start punch turns driver XON/XOFF on before the worker runs.
    m.session.set_xon_xoff_control(true);
    m.fake->inject("\x13");
    m.session.write_text("N1\r\n");
    EXPECT_EQ(m.fake->written(), "");
    m.fake->inject("\x11");
    EXPECT_EQ(m.fake->written(), "N1\r\n");
}

TEST(PortSession, RtsCtsHoldsOutputWhileCtsIsLowAndReportsTheChange)
{
    Machine m;
    m.record.comm_handshake = HandshakeRtsCts;
    m.record.WaitForSignalChecked = true;
    m.record.send_button_flag = true;
    m.fake->set_cts(false);
    ASSERT_TRUE(m.session.port_start());
    EXPECT_TRUE(m.record.waiting_for_cts_to_punch);
    m.session.write_text("N1\r\n");
    EXPECT_EQ(m.fake->written(), "");
    m.fake->set_cts(true);
    m.fake->wait_events_delivered();
    EXPECT_EQ(m.host.sends_started_by_cts.load(), 1);
    EXPECT_EQ(m.fake->written(), "N1\r\n");
}

TEST(PortSession, Mode5WritesANulThenWaitsForCts)
{
    Machine m;
    m.record.comm_handshake = HandshakeMode5;
    m.record.WaitForSignalChecked = true;
    m.record.send_button_flag = true;
    m.fake->set_cts(true); // the driver may send the NUL
    std::thread machine([&] {
        std::this_thread::sleep_for(50ms);
        m.fake->set_cts(false);
        m.fake->set_cts(true);
    });
    ASSERT_TRUE(m.session.port_start()); // returns once CTS came
    machine.join();
    EXPECT_FALSE(m.record.waiting_for_cts_to_punch);
    EXPECT_EQ(m.host.sends_started_by_cts.load(), 1);
    EXPECT_EQ(m.fake->written(), QByteArray(1, '\0'));
}

TEST(PortSession, Mode5WaitEndsOnStop)
{
    Machine m;
    m.record.comm_handshake = HandshakeMode5;
    m.record.WaitForSignalChecked = true;
    m.record.send_button_flag = true;
    QTimer::singleShot(30, [&] { m.record.abort2 = true; }); // Stop, from the UI
    ASSERT_TRUE(m.session.port_start());
    EXPECT_TRUE(m.record.waiting_for_cts_to_punch);
}

TEST(PortSession, Mode6HoldsOnCtsAndPassesTheMachinesDc3On)
{
    Machine m;
    m.record.comm_handshake = HandshakeMode6;
    m.record.send_button_flag = true;
    ASSERT_TRUE(m.session.port_start());
    m.fake->inject("\x13");
    ASSERT_TRUE(m.host.wait_data(1));
    m.session.write_text("A\r\n");
    EXPECT_EQ(m.fake->written(), "A\r\n");
    m.fake->set_cts(false);
    m.session.write_text("B\r\n");
    EXPECT_EQ(m.fake->written(), "A\r\n");
    m.fake->set_cts(true);
    EXPECT_EQ(m.fake->written(), "A\r\nB\r\n");
}

TEST(PortSession, WritesUseTheTapeCode)
{
    Machine m;
    m.record.punch_format = PunchIso;
    ASSERT_TRUE(m.session.open_port());
    EXPECT_TRUE(m.session.write_byte('1'));
    EXPECT_EQ(m.session.write_text("G01\r\n"), 5);
    EXPECT_EQ(m.session.write_raw("\x01\xFF"), 2);
    EXPECT_EQ(m.fake->written(), QByteArray("\xB1\x47\x30\xB1\x8D\x0A\x01\xFF"));
}

TEST(PortSession, MalformedEscapeInALeaderIsReportedOnce)
{
    Machine m;
    ASSERT_TRUE(m.session.open_port());
    const QString leader = "%<1O><13><10>(" + unique_device() + ")";
    m.session.write_control_string(leader);
    m.session.write_control_string(leader);
    EXPECT_TRUE(m.fake->written().startsWith("%\r\n("));
    ASSERT_EQ(m.host.problems.size(), 1);
    EXPECT_TRUE(m.host.problems[0].contains("<1O>")) << m.host.problems[0].toStdString();
}

TEST(PortSession, StopEndsAWriteHeldByTheMachine)
{
    Machine m;
    m.record.comm_handshake = HandshakeHwXonXoff;
    ASSERT_TRUE(m.session.open_port());
    m.fake->inject("\x13");
    std::thread stop([&] {
        std::this_thread::sleep_for(30ms);
        m.record.abort2 = true;
    });
    EXPECT_LT(m.session.write_text(QString(4096, 'X')), 4096);
    stop.join();
}

TEST(PortSession, FreeOutputSpace)
{
    Machine m;
    m.record.out_buffer = 1024;
    ASSERT_TRUE(m.session.open_port());
    m.fake->hold_transmitter();
    m.session.write_text(QString(300, 'X'));
    EXPECT_EQ(m.session.output_queue(), 300);
    EXPECT_EQ(m.session.free_output_space(), 724);
    EXPECT_TRUE(m.session.purge(false, true));
    EXPECT_EQ(m.session.free_output_space(), 1024);
}

TEST(PortSession, BreakIsNotedAndLineErrorsAreIgnored)
{
    Machine m;
    ASSERT_TRUE(m.session.open_port());
    m.fake->send_break();
    m.fake->wait_events_delivered();
    EXPECT_EQ(m.host.last_note(), "Break signal detected...");
}

TEST(PortSession, ALostLineCancelsTheSendAndComesBackAtTheNextPortStart)
{
    Machine m;
    ASSERT_TRUE(m.session.port_start());
    m.record.punching = true;
    m.fake->vanish("unplugged");
    m.fake->wait_events_delivered();
    EXPECT_TRUE(m.record.abort2);
    EXPECT_EQ(m.host.last_note(), "COM3 Not Connected");
    EXPECT_EQ(m.host.display, "Not Connected");
    EXPECT_FALSE(m.session.is_open());
    ASSERT_TRUE(m.session.port_start());
    EXPECT_EQ(m.host.last_note(), "COM3 Ready");
}

TEST(PortSession, DataWaitsForTheBinaryReceive)
{
    Machine m;
    ASSERT_TRUE(m.session.open_port());
    m.record.is_doing_binary = true;
    m.fake->inject("\x01\x02\x03");
    m.fake->wait_events_delivered();
    EXPECT_EQ(m.host.received_data(), "");
    EXPECT_EQ(m.session.read_pending(), "\x01\x02\x03");
    m.record.is_doing_binary = false;
    m.fake->inject("%");
    m.fake->wait_events_delivered();
    EXPECT_EQ(m.host.received_data(), "%");
}

TEST(PortSession, EnsurePortClosesADuplicateThatServesRequests)
{
    Machine a, b;
    a.record.auto_dnc_flag = true;
    ASSERT_TRUE(a.session.port_start());
    const QList<PortSession *> sessions{&a.session, &b.session};
    EXPECT_TRUE(ensure_port(sessions, 1));
    EXPECT_FALSE(a.session.is_open());
    EXPECT_EQ(a.host.last_note(), "Duplicate Port: COM3");
    EXPECT_EQ(b.host.resets, 1);
    // Already open: nothing to do, no Reset.
    EXPECT_TRUE(ensure_port(sessions, 1));
    EXPECT_EQ(b.host.resets, 1);
}

TEST(PortSession, EnsurePortLeavesABusyDuplicateOpen)
{
    Machine a, b;
    ASSERT_TRUE(a.session.port_start());
    b.fake->set_open_error("in use by another program"); // a's open holds the device
    const QList<PortSession *> sessions{&a.session, &b.session};
    EXPECT_FALSE(ensure_port(sessions, 1));
    EXPECT_TRUE(a.session.is_open());
    EXPECT_EQ(b.host.last_note(), "Duplicate Port: COM3");
    EXPECT_EQ(b.host.resets, 1);

    Machine alone(5);
    alone.fake->set_open_error("No such file or directory");
    EXPECT_FALSE(ensure_port({&alone.session}, 0));
    EXPECT_EQ(alone.host.last_note(), "COM5 Not Connected");
}

TEST(PortSession, OpenAllPortsLeavesTheSecondUserOfAPortClosed)
{
    Machine first(1), second(3), third(3);
    second.record.auto_dnc_flag = true;
    open_all_ports({&first.session, &second.session, &third.session});
    EXPECT_TRUE(first.session.is_open());
    EXPECT_TRUE(second.session.is_open());
    EXPECT_FALSE(third.session.is_open());
    EXPECT_EQ(third.host.last_note(), "Duplicate Port: COM3");
    EXPECT_TRUE(first.record.abort2);
    EXPECT_EQ(first.host.receives, 0);
    EXPECT_EQ(second.host.receives, 1);
    close_all_ports({&first.session, &second.session, &third.session});
    EXPECT_FALSE(second.session.is_open());
}

TEST(PortSession, RunsOnARealPseudoTerminal)
{
    test::PtyPair pty;
    MachineSettingsRecord record;
    record.comm_port = 7;
    record.comm_baud_rate = 19200;
    record.comm_parity = 'E';
    record.comm_data_bits = 7;
    record.comm_stop_bits = 2;
    record.punch_format = PunchIso;
    record.comm_handshake = HandshakeHwXonXoff;
    RecordingHost host(record);
    PortSession session(0, record, host);
    // A name of its own, as a by-id link would be: what the device refuses
    // is told once per device name.
    QTemporaryDir dir;
    const QString link = dir.filePath("usb-Machine7");
    ASSERT_TRUE(QFile::link(pty.slave_path(), link));
    session.set_port_map({{7, link}});
    ASSERT_TRUE(session.port_start());
    EXPECT_EQ(host.last_note(), "COM7 Ready");
    EXPECT_EQ(session.adapter().chip, "---");
    ASSERT_EQ(host.problems.size(), 1); // a pty is always 8N and has no modem lines
    EXPECT_TRUE(host.problems[0].contains("7 data bits")) << host.problems[0].toStdString();

    EXPECT_EQ(session.write_text("G01\r\n"), 5);
    EXPECT_EQ(pty.read_exactly(5, 2000), QByteArray("\x47\x30\xB1\x8D\x0A"));
    ASSERT_TRUE(pty.send("\xC7\x30\xB1\x8D\x0A"));
    ASSERT_TRUE(host.wait_data(5));
    EXPECT_NE(host.data_thread, std::this_thread::get_id());

    // Closing and re-opening while the machine keeps its end.
    ASSERT_TRUE(session.port_start());
    EXPECT_EQ(host.problems.size(), 1);
    EXPECT_EQ(session.write_text("M30\r\n"), 5);
    EXPECT_EQ(pty.read_exactly(5, 2000).size(), 5);
}

} // namespace
} // namespace dnc
