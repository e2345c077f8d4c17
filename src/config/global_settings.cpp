#include "config/global_settings.h"

#include <algorithm>

namespace dnc
{

namespace
{

// The global section, for the calls below.
const QLatin1String kGlobal(kGlobalSection);

} // namespace

GlobalSettings load_global_settings(const IniFile &ini)
{
    const QString g = kGlobal;
    GlobalSettings s;
    s.multi_server = ini.read_bool(g, QStringLiteral("MultiServer"), false);
    s.multi_instance = ini.read_bool(g, QStringLiteral("MultiInstance"), false);
    s.last_machine = ini.read_string(g, QStringLiteral("LastMachine"));
    if (s.last_machine == QLatin1String("0"))
        s.last_machine.clear();
    s.save_last_machine = ini.read_bool(g, QStringLiteral("SaveLastMachine"), true);
    // The left page control has two pages.
    const int tab = ini.read_int(g, QStringLiteral("MachineFileTab"), 1);
    s.machine_file_tab = tab == 0 ? 0 : 1;
    s.multi_select_files = ini.read_bool(g, QStringLiteral("MultiSelectFiles"), false);
    s.editor_read_only = ini.read_bool(g, QStringLiteral("EditorReadOnly"), false);
    s.window_color = ini.read_bool(g, QStringLiteral("WindowColor"), false);
    s.print_margin = ini.read_int(g, QStringLiteral("PrintMargin"), 0);
    s.ports = port_map(ini);
    return s;
}

QMap<int, QString> port_map(const IniFile &ini)
{
    QMap<int, QString> ports;
    const QString g = kGlobal;
    for (const QString &key : ini.keys(g)) {
        if (key.size() < 4 || !key.startsWith(QLatin1String("com"), Qt::CaseInsensitive))
            continue;
        const QStringView digits = QStringView(key).mid(3);
        if (!std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
            continue;
        bool ok = false;
        const int port = digits.toInt(&ok);
        const QString device = ini.read_string(g, key);
        if (ok && port > 0 && !device.isEmpty() && !ports.contains(port))
            ports.insert(port, device);
    }
    return ports;
}

bool save_close_state(const QString &ini_path, const CloseState &state, QString *error)
{
    return IniFile::update(
        ini_path,
        [&](IniFile &ini) {
            const QString g = kGlobal;
            ini.write_string(g, QStringLiteral("LastMachine"), state.last_machine);
            ini.write_int(g, QStringLiteral("PrintColumns"), state.print_columns);
            if (state.save_splitter_position)
                ini.write_int(g, QStringLiteral("SplitterPercent"), state.splitter_percent);
            ini.write_int(g, QStringLiteral("MachineFileTab"), state.machine_file_tab == 0 ? 0 : 1);
            return true;
        },
        error);
}

} // namespace dnc
