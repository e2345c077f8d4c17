// Saving a received program under a name, with a numbered copy in the
// machine's backup folder: saving O1000.NC when the backup folder holds
// O1000-01.NC and O1000-07.NC also writes O1000-08.NC there.
#pragma once

#include <QString>
#include <QStringList>

namespace dnc
{

// The full path a program is saved under: a name without folder goes into
// `default_save_directory`, or into the user-data folder when that is
// empty.
QString complete_save_path(const QString &name, const QString &default_save_directory,
                           const QString &user_data_folder);

// The name of the next backup copy of the file `file_name` (name only, no
// folder), given the names of the files in the backup folder: the base
// (up to the first "."), "-", a number one above the largest among the
// copies already there (at least two digits), and the extension (from the
// last "."). A copy is a name whose part before its last "-" is the base
// and whose extension is the extension, letter case ignored; its number is
// the text after that "-" (0 when it is not a number).
QString backup_file_name(const QString &file_name, const QStringList &existing_names);

struct SaveOutcome {
    bool saved = false;
    qint64 size = 0;        // bytes written
    QString problem;        // why nothing was saved
    QString backup_path;    // the copy written, when there is one
    QString backup_problem; // why the copy was not written (the file was)
};

// Saves the lines as the program file `path` (every byte as received) and,
// when `backup_directory` is set, a numbered copy there. A folder that does
// not exist saves nothing; a copy that cannot be written does not undo the
// save.
SaveOutcome save_program(const QString &path, const QStringList &lines,
                         const QString &backup_directory);

} // namespace dnc
