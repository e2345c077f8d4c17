// Directory shortcuts: named folders the operator jumps to from the
// drop-down above the file list, stored in section "Dirs" of DNC.ini.
//
// Every key of "Dirs" is read, in file order, whatever its name; its value
// is the description, a comma, and the folder (which may hold further
// commas). Empty values and values without a comma are skipped. The list is
// written back as "Dir1", "Dir2", ... in list order.
#pragma once

#include "config/ini_file.h"

#include <QList>
#include <QString>

namespace dnc
{

struct DirectoryShortcut {
    QString description; // shown to the operator (in upper case in the drop-down)
    QString path;        // the folder, as written
    bool operator==(const DirectoryShortcut &) const = default;
};

QList<DirectoryShortcut> read_directory_shortcuts(const IniFile &ini);

// Replaces section "Dirs" with `shortcuts`; on failure DNC.ini is unchanged
// and *error holds the reason.
bool save_directory_shortcuts(const QString &ini_path, const QList<DirectoryShortcut> &shortcuts,
                              QString *error);

// Index of the first shortcut whose folder is `folder` (both passed through
// normalize_folder(), so a trailing "/" does not matter), or -1; -1 for an
// empty folder. Folder names are compared with their letter case, as the
// file system does.
int find_shortcut(const QList<DirectoryShortcut> &shortcuts, const QString &folder);

} // namespace dnc
