// Engine tests: an Engine with a recording front-end and machines whose
// settings start from the DNC.ini defaults, set to a plain 9600 8N1 line
// without handshake, wait-for-signal or port restart unless a test says
// otherwise.
#pragma once

#include "comm/fake_serial_line.h"
#include "config/ini_file.h"
#include "config/settings_io.h"
#include "engine/engine.h"
#include "engine/frame_actions.h"
#include "engine/machine.h"
#include "engine/send_engine.h"
#include "support/pty_pair.h"
#include "support/recording_workspace.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QMap>
#include <memory>

namespace dnc::test
{

class SendFixture : public ::testing::Test
{
protected:
    static constexpr int kMachines = 2;

    void SetUp() override
    {
        engine = std::make_unique<Engine>(ws);
        engine->set_machine_count(kMachines);
        for (int i = 0; i < kMachines; ++i)
            plain_line_settings(machine(i).record());
    }
    void TearDown() override { engine.reset(); }

    static void plain_line_settings(MachineSettingsRecord &r)
    {
        load_machine_settings(IniFile::from_bytes(QByteArray("[M]\n")), QStringLiteral("M"),
                              QDir::tempPath(), r);
        r.comm_baud_rate = 9600;
        r.comm_data_bits = 8;
        r.comm_parity = QLatin1Char('N');
        r.comm_stop_bits = 1;
        r.comm_handshake = HandshakeNone;
        r.WaitForSignalChecked = false;
        r.always_init_comm = false;
        r.SendChar20 = false;
    }

    Machine &machine(int i = 0) { return engine->machine(i); }
    MachineSettingsRecord &record(int i = 0) { return machine(i).record(); }

    // Machine i talks to `device` (a pty's slave side) as COM i+1.
    void use_device(int i, const QString &device)
    {
        ports_.insert(i + 1, device);
        engine->set_port_map(ports_);
        record(i).comm_port = i + 1;
    }

    // Machine i talks to a fake line that the test controls.
    FakeSerialLine &use_fake(int i = 0)
    {
        auto line = std::make_unique<FakeSerialLine>();
        FakeSerialLine &fake = *line;
        record(i).comm_port = i + 1;
        machine(i).port().use_line(std::move(line));
        return fake;
    }

    bool wait_note(int i, const QString &text, int timeout_ms = 5000)
    {
        return wait_until([&] { return ws.has_note(i, text); }, timeout_ms);
    }

    RecordingWorkspace ws{kMachines};
    std::unique_ptr<Engine> engine;

private:
    QMap<int, QString> ports_;
};

} // namespace dnc::test
