// The log of saved files, "log.nc" in the user-data folder. It is itself an
// NC program, so that a machine can ask for it (the log request) and show it
// on the control's screen:
//   %
//   (L* )                          the machine's LogCommand + " )", or "()"
//   (SAVED FILES LOG)
//   (/NC/O1000.NC 12/11/26 3:04 PM 1234CHARS)   newest first
//   ...
//   %
// It keeps the machine's MAX_LOG newest entries.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace dnc
{

// The lines of an empty log.
QStringList new_saved_files_log(const QString &log_command);

// One entry: "(" + the path in upper case + " " + date + " " + time + " " +
// size + "CHARS)", date and time in the locale's short formats.
QString saved_files_log_entry(const QString &path, const QDateTime &when, qint64 size,
                              const QLocale &locale = QLocale::system());

// `log` with `entry` as the newest entry and no more than `max_log` entries
// (the oldest go). A log of fewer than four lines cannot hold entries and
// is started again.
QStringList with_saved_files_log_entry(QStringList log, const QString &entry, int max_log,
                                       const QString &log_command);

// Adds an entry to the log file at `log_path` (created when missing). False
// with the reason when the log cannot be read or written; an unreadable log
// is left as it is.
bool add_to_saved_files_log(const QString &log_path, const QString &entry, int max_log,
                            const QString &log_command, QString *error);

} // namespace dnc
