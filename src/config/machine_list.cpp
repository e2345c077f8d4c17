#include "config/machine_list.h"

namespace dnc
{

namespace
{

bool is_reserved(const QString &name)
{
    return name.compare(QLatin1String(kGlobalSection), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String(kDirsSection), Qt::CaseInsensitive) == 0;
}

QStringList machine_sections(const IniFile &ini)
{
    QStringList names = ini.section_names();
    names.removeIf(is_reserved);
    return names;
}

MachineListResult failure(MachineListStatus status, const QString &error)
{
    return {status, error};
}

// Why `name` cannot become a machine's name; Ok when it can. `renaming`
// is the machine that gives up its name, which may be taken again in
// another letter case.
MachineListResult check_new_name(const IniFile &ini, const QString &name,
                                 const QString &renaming = {})
{
    if (name.isEmpty())
        return failure(MachineListStatus::EmptyName, QStringLiteral("No machine name given"));
    if (is_reserved(name) || name.contains(QLatin1Char(']')) || name.contains(QLatin1Char('\n')) ||
        name.contains(QLatin1Char('\r')))
        return failure(MachineListStatus::InvalidName,
                       QStringLiteral("\"%1\" cannot be a machine name").arg(name));
    for (const QString &existing : machine_sections(ini)) {
        if (existing != renaming && existing.compare(name, Qt::CaseInsensitive) == 0)
            return failure(MachineListStatus::NameTaken,
                           QStringLiteral("A machine named \"%1\" already exists").arg(existing));
    }
    return {};
}

// Every key of section `from_section` of `from`, in order, with its first
// value, into section `to_section` of `to`.
void copy_section(const IniFile &from, const QString &from_section, IniFile &to,
                  const QString &to_section)
{
    to.ensure_section(to_section);
    const QStringList keys = from.keys(from_section);
    for (const QString &key : keys)
        to.write_string(to_section, key, from.read_string(from_section, key));
}

// Runs one change of the machine list as one atomic update of DNC.ini.
// `edit` sets the result and returns whether to write.
MachineListResult update_list(const QString &ini_path,
                              const std::function<bool(IniFile &, MachineListResult &)> &edit,
                              const QString &temp_file_name = {})
{
    MachineListResult result;
    QString error;
    const bool written = IniFile::update(
        ini_path, [&](IniFile &ini) { return edit(ini, result); }, &error, temp_file_name);
    if (!written && result.ok() && !error.isEmpty())
        return failure(MachineListStatus::WriteFailed, error);
    return result;
}

} // namespace

QStringList reload_machine_list(const IniFile &ini)
{
    QStringList names = machine_sections(ini);
    if (names.isEmpty())
        names.append(QString::fromLatin1(kDefaultMachineName));
    return names;
}

bool has_machine_sections(const IniFile &ini)
{
    return !machine_sections(ini).isEmpty();
}

bool ensure_default_machine(const QString &ini_path, QString *error)
{
    bool machine_exists = false;
    const bool written = IniFile::update(
        ini_path,
        [&](IniFile &ini) {
            machine_exists = has_machine_sections(ini);
            if (!machine_exists)
                ini.write_string(QString::fromLatin1(kDefaultMachineName),
                                 QStringLiteral("DefaultDir"), QStringLiteral("/"));
            return !machine_exists;
        },
        error);
    return written || machine_exists;
}

MachineListResult add_machine(const QString &ini_path, const QString &name,
                              const QString &copy_from)
{
    const QString machine = name.trimmed();
    return update_list(ini_path, [&](IniFile &ini, MachineListResult &result) {
        result = check_new_name(ini, machine);
        if (!result.ok())
            return false;
        if (!copy_from.isEmpty() && !is_reserved(copy_from) && !ini.keys(copy_from).isEmpty())
            copy_section(ini, copy_from, ini, machine);
        else
            ini.write_string(machine, QStringLiteral("DefaultDir"), QStringLiteral("/"));
        return true;
    });
}

MachineListResult rename_machine(const QString &ini_path, const QString &old_name,
                                 const QString &new_name)
{
    const QString machine = new_name.trimmed();
    return update_list(
        ini_path,
        [&](IniFile &ini, MachineListResult &result) {
            if (is_reserved(old_name) || !machine_sections(ini).contains(old_name)) {
                result = failure(MachineListStatus::UnknownMachine,
                                 QStringLiteral("There is no machine \"%1\"").arg(old_name));
                return false;
            }
            result = check_new_name(ini, machine, old_name);
            return result.ok() && ini.rename_section(old_name, machine);
        },
        QString::fromLatin1(kTempIniFileName));
}

MachineListResult delete_machine(const QString &ini_path, const QString &name)
{
    return update_list(ini_path, [&](IniFile &ini, MachineListResult &result) {
        if (is_reserved(name)) {
            result = failure(MachineListStatus::InvalidName,
                             QStringLiteral("\"%1\" is not a machine").arg(name));
            return false;
        }
        if (!ini.has_section(name))
            return false;
        ini.erase_section(name);
        return true;
    });
}

MachineListResult reorder_machines(const QString &ini_path, const QStringList &order)
{
    return update_list(
        ini_path,
        [&](IniFile &ini, MachineListResult &) {
            const IniFile old = ini;
            const QStringList spelled = old.section_names();
            auto file_spelling = [&](const QString &name) {
                for (const QString &section : spelled) {
                    if (section.compare(name, Qt::CaseInsensitive) == 0)
                        return section;
                }
                return QString();
            };
            ini.clear();
            QStringList copied;
            auto copy = [&](const QString &name) {
                const QString section = file_spelling(name);
                if (section.isEmpty() || copied.contains(section))
                    return;
                copied.append(section);
                copy_section(old, section, ini, section);
            };
            copy(QString::fromLatin1(kGlobalSection));
            copy(QString::fromLatin1(kDirsSection));
            for (const QString &name : order) {
                if (!is_reserved(name))
                    copy(name);
            }
            for (const QString &name : machine_sections(old))
                copy(name);
            return true;
        },
        QString::fromLatin1(kTempIniFileName));
}

} // namespace dnc
