#include "app/headless_server.h"

#include "app/editor_model.h"
#include "app/install_paths.h"
#include "config/global_settings.h"
#include "config/ini_file.h"
#include "config/machine_list.h"

#include <QFileInfo>

namespace dnc
{

HeadlessServer::HeadlessServer(QString user_data_folder, CommandLine command_line,
                               HeadlessWorkspace *workspace, QObject *parent)
    : QObject(parent), user_data_folder_(std::move(user_data_folder)),
      command_line_(std::move(command_line)), workspace_(workspace)
{
}

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
    workspace_->set_current_machine(current);

    if (!command_line_.file.isEmpty())
        load_editor_file(0, command_line_.file);
}

void HeadlessServer::stop()
{
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

void HeadlessServer::clear_machine(int machine)
{
    workspace_->clear_editor(machine);
    workspace_->set_and_display_filename(machine, QString());
}

bool HeadlessServer::load_editor_file(int machine, const QString &path)
{
    const QFileInfo file(path);
    if (!file.isFile()) {
        workspace_->note(machine, QStringLiteral("Can't find  ") + path, NoteColour::Normal);
        return false;
    }
    QStringList lines;
    QString error;
    if (!read_program_lines(file.absoluteFilePath(), &lines, &error)) {
        workspace_->note(machine, QStringLiteral("Cannot Open File %1: %2").arg(path, error),
                         NoteColour::Normal);
        return false;
    }
    workspace_->set_editor_text(machine, lines);
    if (const auto editor = workspace_->editor(machine))
        editor->set_cursor_line(1);
    workspace_->set_and_display_filename(machine, file.absoluteFilePath());
    return true;
}

void HeadlessServer::open_handed_over_file(const QString &path)
{
    const int machine = workspace_->current_machine();
    clear_machine(machine);
    if (load_editor_file(machine, path))
        workspace_->note(machine, QStringLiteral("File Loaded"), NoteColour::Normal);
}

void HeadlessServer::open_file_for_machine(const QString &path, const QString &machine_name)
{
    const int machine = workspace_->current_machine();
    clear_machine(machine);
    load_editor_file(machine, path);
    const int named = find_machine(machine_name);
    if (named >= 0)
        workspace_->set_current_machine(named);
    else if (!machine_name.isEmpty())
        workspace_->print_error(
            QStringLiteral("Machine \"%1\" is not in %2").arg(machine_name, ini_path()));
}

} // namespace dnc
