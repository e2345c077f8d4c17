// The web remote's view of the server's disks: path forms sent by the phone
// app, file-name completion, name patterns, folder and file listings, the
// list of file-system roots, and reading a file to show it.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

namespace dnc
{

// Text of a path sent by a client as a local path: "\" separators become "/"
// and a drive root such as "C:\" is "/" (so "C:\NC\O1000.NC" is
// "/NC/O1000.NC"). Anything else is kept as given.
QString remote_local_path(const QString &requested);

// True when the file-name part of `path` (after its last separator) holds a
// ".".
bool has_extension(const QString &path);
// `folder` + `name` with exactly one separator between them.
QString join_remote_folder(const QString &folder, const QString &name);

// Completes a file name sent by the remote for a machine: the machine's
// default extension when the name has none (unless that extension holds
// "*"); then, unless it is a full path, the machine's save folder in front,
// or when there is none the folder of the main window's file list.
QString resolve_remote_filename(const QString &name, const QString &default_extension,
                                const QString &save_folder, const QString &file_list_folder);

// Matches a file name against a pattern of "*" (any run of characters) and
// "?" (one character), without regard to letter case. "*.*" matches every
// name, also one without a ".".
bool wildcard_match(const QString &pattern, const QString &name);

// The roots a user picks from on this computer: "/" and every volume mounted
// under /media, /run/media and /mnt, each ending with "/". `mounts` is the
// text of /proc/self/mounts.
QStringList file_system_roots_from_mounts(const QByteArray &mounts);
// The same, read from the running system.
QStringList file_system_roots();

using RootsProvider = std::function<QStringList()>;

// Names (without path) of the subfolders of `folder` matching `pattern`,
// sorted by name without regard to case; hidden names are left out. At most
// `limit` names.
QStringList list_subfolders(const QString &folder, const QString &pattern, int limit);

struct ListedFile {
    QString name;
    qint64 size = 0;
    QDateTime modified; // local time
};
// Ordinary files of `folder` whose names match `pattern`, sorted as above.
QList<ListedFile> list_files(const QString &folder, const QString &pattern, int limit);

// Reads at most `limit` bytes of a regular file for viewing. Devices, pipes
// and folders are refused without being opened, so a request can neither
// block on a FIFO nor wake a device. What was read decides whether the file
// is longer than the limit (a file under /proc reports no size).
struct ViewedFile {
    bool ok = false;
    QByteArray bytes;
    bool truncated = false; // the file holds more than `limit` bytes
};
ViewedFile read_file_head(const QString &path, qint64 limit);

// Bytes of a text file or a request as text: UTF-8 when they are valid
// UTF-8, otherwise one character per byte (files written on Windows). With
// `may_end_mid_character` the bytes are the head of a longer text, and a
// character cut off at their end is left out.
QString text_from_bytes(const QByteArray &bytes, bool may_end_mid_character = false);

} // namespace dnc
