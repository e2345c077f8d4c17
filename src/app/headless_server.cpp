#include "app/headless_server.h"

#include "app/headless_remote.h"
#include "app/install_paths.h"
#include "comm/port_session.h"
#include "comm/tape_code.h"
#include "config/app_settings.h"
#include "config/global_settings.h"
#include "config/ini_file.h"
#include "config/machine_list.h"
#include "config/settings_io.h"
#include "engine/drip_feed.h"
#include "engine/engine.h"
#include "engine/frame_actions.h"
#include "engine/machine.h"
#include "engine/program_file.h"
#include "engine/receiving.h"
#include "remote/adapter_info.h"
#include "remote/remote_server.h"

#include <QFile>
#include <QFileInfo>

namespace dnc
{

HeadlessServer::HeadlessServer(QString user_data_folder, CommandLine command_line,
                               HeadlessWorkspace *workspace, QObject *parent)
    : QObject(parent), user_data_folder_(std::move(user_data_folder)),
      command_line_(std::move(command_line)), workspace_(workspace)
{
}

HeadlessServer::~HeadlessServer() = default;

QString HeadlessServer::ini_path() const
{
    return dnc_ini_path(user_data_folder_);
}

void HeadlessServer::start()
{
    const QString path = ini_path();
    IniFile ini(path);
    if (!ini.file_exists())
        workspace_->print_error(QStringLiteral("Can't Find INI file\n") + path);
    else if (!ini.read_error().isEmpty())
        workspace_->print_error(QStringLiteral("Cannot read %1: %2").arg(path, ini.read_error()));

    if (!has_machine_sections(ini)) {
        QString error;
        if (ensure_default_machine(path, &error))
            ini = IniFile(path);
        else
            workspace_->print_error(QStringLiteral("Cannot write %1: %2").arg(path, error));
    }
    const GlobalSettings global = load_global_settings(ini);
    const QStringList machines = reload_machine_list(ini);
    workspace_->set_machines(machines);

    workspace_->print(QStringLiteral("Norvex Server %1, user-data folder %2")
                          .arg(version_string(), user_data_folder_));
    for (qsizetype i = 0; i < machines.size(); ++i)
        workspace_->print(QStringLiteral("Machine %1 = %2").arg(i + 1).arg(machines.at(i)));

    int current = 0;
    if (!global.last_machine.isEmpty() && global.last_machine != QLatin1String("0"))
        current = qMax(find_machine(global.last_machine), 0);
    if (!command_line_.machine_name.isEmpty()) {
        const int named = find_machine(command_line_.machine_name);
        if (named >= 0)
            current = named;
        else
            workspace_->print_error(QStringLiteral("Machine \"%1\" is not in %2")
                                        .arg(command_line_.machine_name, path));
    }
    select_machine(current);

    start_serving(ini, machines, current);

    if (!command_line_.file.isEmpty())
        load_editor_file(0, command_line_.file);
}

void HeadlessServer::start_serving(const IniFile &ini, const QStringList &machines, int current)
{
    engine_ = std::make_unique<Engine>(*workspace_);
    engine_->set_port_map(port_map(ini));
    engine_->set_multi_machine(true);
    receiving_ = install_receiving(*engine_, ReceivingOptions{user_data_folder_, {}});
    install_drip_feed(*engine_);
    engine_->set_machine_count(int(machines.size()));
    engine_->set_current_machine(current);

    SettingsHooks hooks;
    hooks.translate_strip_chars = [](const QString &strip_chars) {
        return translate_control_string(MachineSettingsRecord(), strip_chars, true);
    };
    hooks.load_translation_file = [this](MachineSettingsRecord &record) {
        for (const QString &problem : load_translation_file(record, record.CharTransFile).problems)
            workspace_->print_error(problem);
    };
    QList<PortSession *> sessions;
    for (int i = 0; i < engine_->machine_count(); ++i) {
        Machine &machine = engine_->machine(i);
        load_machine_settings(ini, machines.at(i), user_data_folder_, machine.record(), hooks);
        sessions.append(&machine.port());
    }
    open_all_ports(sessions);
    start_remote(ini);
}

void HeadlessServer::start_remote(const IniFile &ini)
{
    const AppSettings settings = load_app_settings(ini);
    if (!settings.remote)
        return;
    remote_host_ = std::make_unique<HeadlessRemoteHost>(*engine_, *workspace_, user_data_folder_);
    remote_ = std::make_unique<RemoteServer>(*remote_host_);
    // Without a configured address the remote still listens on every
    // interface; the operator is told the addresses to use.
    QString address = settings.ip_address;
    if (address.isEmpty()) {
        const QStringList addresses = local_ipv4_addresses();
        address = addresses.isEmpty() ? QStringLiteral("127.0.0.1") : addresses.first();
        workspace_->print(QStringLiteral("Web remote addresses: %1")
                              .arg(addresses.isEmpty() ? address : addresses.join(", ")));
    }
    if (remote_->start(address, settings.ip_port)) {
        remote_->set_folder(remote_host_->folder_for_remote());
        workspace_->print(QStringLiteral("Web remote listening on port %1").arg(remote_->port()));
    }
}

void HeadlessServer::stop()
{
    // The remote goes first so that no request reaches a closing engine;
    // then every transfer ends and every port closes before the process goes.
    if (remote_)
        remote_->stop();
    remote_.reset();
    remote_host_.reset();
    engine_.reset();
    receiving_.reset();
    workspace_->print(QStringLiteral("Server stopped"));
}

QString HeadlessServer::current_machine_name() const
{
    return workspace_->machine_name(workspace_->current_machine());
}

int HeadlessServer::find_machine(const QString &name) const
{
    const QStringList machines = workspace_->machine_names();
    for (qsizetype i = 0; i < machines.size(); ++i) {
        if (machines.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

void HeadlessServer::select_machine(int machine)
{
    workspace_->set_current_machine(machine);
    if (engine_)
        engine_->set_current_machine(machine);
}

Machine *HeadlessServer::current_engine_machine() const
{
    return engine_ ? engine_->find_machine(workspace_->current_machine()) : nullptr;
}

bool HeadlessServer::load_editor_file(int machine, const QString &path)
{
    Machine *target = engine_ ? engine_->find_machine(machine) : nullptr;
    return target && dnc::load_editor_file(*target, path);
}

void HeadlessServer::open_handed_over_file(const QString &path)
{
    Machine *machine = current_engine_machine();
    if (!machine)
        return;
    frame_clear(*machine, true);
    if (dnc::load_editor_file(*machine, path))
        machine->note(QStringLiteral("File Loaded"));
}

void HeadlessServer::open_file_for_machine(const QString &path, const QString &machine_name)
{
    Machine *machine = current_engine_machine();
    if (!machine)
        return;
    frame_clear(*machine, true);
    dnc::load_editor_file(*machine, path);
    const int named = find_machine(machine_name);
    if (named >= 0)
        select_machine(named);
    else if (!machine_name.isEmpty())
        workspace_->print_error(
            QStringLiteral("Machine \"%1\" is not in %2").arg(machine_name, ini_path()));
}

} // namespace dnc
