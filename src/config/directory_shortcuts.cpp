#include "config/directory_shortcuts.h"

#include "config/path_rules.h"

namespace dnc
{

QList<DirectoryShortcut> read_directory_shortcuts(const IniFile &ini)
{
    const QString section = QString::fromLatin1(kDirsSection);
    QList<DirectoryShortcut> shortcuts;
    for (const QString &key : ini.keys(section)) {
        const QString value = ini.read_string(section, key);
        const qsizetype comma = value.indexOf(QLatin1Char(','));
        if (comma < 0)
            continue;
        shortcuts.append({value.left(comma), value.mid(comma + 1)});
    }
    return shortcuts;
}

bool save_directory_shortcuts(const QString &ini_path, const QList<DirectoryShortcut> &shortcuts,
                              QString *error)
{
    return IniFile::update(
        ini_path,
        [&](IniFile &ini) {
            const QString section = QString::fromLatin1(kDirsSection);
            ini.erase_section(section);
            for (int i = 0; i < shortcuts.size(); ++i) {
                const DirectoryShortcut &shortcut = shortcuts.at(i);
                ini.write_string(section, QStringLiteral("Dir%1").arg(i + 1),
                                 shortcut.description + QLatin1Char(',') + shortcut.path);
            }
            return true;
        },
        error);
}

int find_shortcut(const QList<DirectoryShortcut> &shortcuts, const QString &folder)
{
    if (folder.isEmpty())
        return -1;
    const QString wanted = normalize_folder(folder);
    for (int i = 0; i < shortcuts.size(); ++i) {
        if (normalize_folder(shortcuts.at(i).path) == wanted)
            return i;
    }
    return -1;
}

} // namespace dnc
