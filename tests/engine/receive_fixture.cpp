#include "engine/receive_fixture.h"

#include "comm/tape_code.h"
#include "config/ini_file.h"
#include "config/settings_io.h"

#include <QDir>
#include <QFile>

namespace dnc::test
{

namespace
{

constexpr char kDc4 = 20;

const QByteArray kPlainSettings = "CommPort=1\n"
                                  "CommBaudRate=115200\n"
                                  "CommDataBits=8\n"
                                  "CommParity=NONE\n"
                                  "CommStopBits=1\n"
                                  "CommHandshake=0\n"
                                  "EOB=2\n";

} // namespace

void HookedWorkspace::set_note_hook(std::function<void(const QString &text)> hook)
{
    std::lock_guard lock(hook_mutex_);
    hook_ = std::move(hook);
}

void HookedWorkspace::note(int machine, const QString &text, NoteColour colour)
{
    RecordingWorkspace::note(machine, text, colour);
    std::function<void(const QString &)> hook;
    {
        std::lock_guard lock(hook_mutex_);
        hook = hook_;
    }
    if (hook)
        hook(text);
}

ServedMachine::ServedMachine(const QByteArray &keys)
{
    data_folder_ = dir_.path() + QLatin1Char('/');
    // The first of two equal keys counts: the test's keys come first.
    QByteArray section = keys + kPlainSettings;
    section.replace("{data}", data_folder_.toUtf8());
    const IniFile ini = IniFile::from_bytes("[Mill]\n" + section);

    engine_ = std::make_unique<Engine>(workspace_);
    engine_->set_port_map({{1, pty_.slave_path()}});
    engine_->set_machine_count(1);
    SettingsHooks hooks;
    hooks.translate_strip_chars = [](const QString &strip_chars) {
        return translate_control_string(MachineSettingsRecord(), strip_chars, true);
    };
    load_machine_settings(ini, QStringLiteral("Mill"), data_folder_, record(), hooks);
    receiving_ = install_receiving(*engine_, ReceivingOptions{data_folder_, {}});
}

ServedMachine::~ServedMachine()
{
    engine_.reset();
}

void ServedMachine::write_file(const QString &relative, const QByteArray &bytes) const
{
    QFile file(path(relative));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QByteArray ServedMachine::read_file(const QString &relative) const
{
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void ServedMachine::make_folder(const QString &relative) const
{
    QDir().mkpath(path(relative));
}

void ServedMachine::open()
{
    open_all_ports({&machine().port()});
}

void ServedMachine::receive()
{
    receiving_->receive_start(machine());
}

int ServedMachine::note_count(const QString &text) const
{
    return int(workspace_.notes(0).count(text));
}

QStringList ServedMachine::notes_containing(const QString &text) const
{
    return workspace_.notes(0).filter(text);
}

bool ServedMachine::wait_for_note(const QString &text, int count, int timeout_ms)
{
    return wait_until([&] { return note_count(text) >= count; }, timeout_ms);
}

void ServedMachine::control_sends(const QByteArray &bytes)
{
    pty_.send(bytes);
}

QByteArray ServedMachine::control_reads_until_dc4(int timeout_ms)
{
    QByteArray got;
    wait_until(
        [&] {
            got += pty_.read_for(0);
            return got.contains(kDc4);
        },
        timeout_ms);
    return got;
}

QByteArray lines_with_lf(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toLatin1() + '\n';
    return bytes;
}

} // namespace dnc::test
