// The plain-text documents the web remote answers with: key=value lines
// ending with CR LF, which the phone app parses.
#pragma once

#include "remote/remote_host.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace dnc
{

// At most this many folders or files are listed (indexes 0 to 150).
inline constexpr int kRemoteListLimit = 151;
// Larger files are shown cut to this many bytes.
inline constexpr int kRemoteViewLimit = 50000;

// Date and time of a file line: month/day/year's last two digits, then
// hour:minutes on a 12-hour dial with "AM" or "PM" ("3/7/24;12:05AM"). Hour 0
// reads 12 with "AM", hours 1 to 12 read as they are with "AM" (noon too),
// hours 13 to 23 less 12 with "PM".
QString remote_file_time(const QDateTime &local);

// "[DUREravur]", default extension, mask, mode, status, version and the
// latest file name of a machine record.
QString status_document(const RemoteMachineView &machine, const QString &mask,
                        const QString &status_text, const QString &current_filename);

QString machine_document(const QStringList &names, const QString &current_machine);

// The subfolders of `folder` that match the pattern (every folder when the
// mask holds a "."), or the file-system roots when `folder` is "\".
QString folder_document(const QString &folder, const QString &mask, const QStringList &roots);

// The ordinary files of `folder` that match the mask.
QString file_document(const QString &folder, const QString &mask);

QString notify_document(const RemoteMachineView &machine);

// A file's text for viewing, cut after kRemoteViewLimit bytes.
QString view_document(const QString &path, const QString &status_text);

QString busy_reply(const RemoteMachineView &machine);

} // namespace dnc
