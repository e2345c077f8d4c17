// The machine list: every section of DNC.ini other than "DUREravur" and
// "Dirs" is a machine, the section name is the machine's name, and the order
// of the sections is the order of the machines everywhere (drop-down, list
// panel, frame index). Adding, renaming, deleting and reordering machines
// change DNC.ini at once, each as one atomic write.
#pragma once

#include "config/ini_file.h"

#include <QString>
#include <QStringList>

namespace dnc
{

// The machine names in file order, each once. With no machine section the
// list holds "Default" (the file is not written; see
// ensure_default_machine()).
QStringList reload_machine_list(const IniFile &ini);

// True when DNC.ini holds at least one machine section.
bool has_machine_sections(const IniFile &ini);

// Start-up: when DNC.ini holds no machine section (or does not exist), writes
// section "Default" with "DefaultDir" set to the file-system root, so that
// one machine works. Does nothing when a machine exists.
bool ensure_default_machine(const QString &ini_path, QString *error);

enum class MachineListStatus {
    Ok,
    EmptyName,      // no name given
    InvalidName,    // "DUREravur", "Dirs", or a name with "]" or a line break
    NameTaken,      // another machine has that name in some letter case
    UnknownMachine, // no section of that name
    WriteFailed,    // DNC.ini could not be read or written; it is unchanged
};

struct MachineListResult {
    MachineListStatus status = MachineListStatus::Ok;
    QString error; // for the operator
    bool ok() const { return status == MachineListStatus::Ok; }
};

// Adds machine `name` at the end. With `copy_from` naming a machine, the new
// section starts as a copy of every key of that machine, in order; otherwise
// (or when that machine has no keys) it holds "DefaultDir" = "/". Blanks
// around the name are dropped.
MachineListResult add_machine(const QString &ini_path, const QString &name,
                              const QString &copy_from = {});

// Gives the header of machine `old_name` (same letter case) the name
// `new_name`; its keys and its place stay, and nothing else in the file
// changes. The file is rewritten through "temp.ini".
MachineListResult rename_machine(const QString &ini_path, const QString &old_name,
                                 const QString &new_name);

// Erases the machine's section.
MachineListResult delete_machine(const QString &ini_path, const QString &name);

// Rewrites DNC.ini through "temp.ini" as "DUREravur", "Dirs", then the
// machines in `order`: every key of each section, in order, the first value
// of each. Machines of the file that `order` leaves out follow at the end in
// their old order, so none is lost; comments, blank lines and repeated
// sections do not survive.
MachineListResult reorder_machines(const QString &ini_path, const QStringList &order);

} // namespace dnc
