// NC program files as a machine's editor holds them: one character per byte
// (byte value = character code, so nothing is ever replaced or lost), one
// editor line per line of the file.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace dnc
{

class Machine;

// The lines of a program file's bytes. Lines end with CR LF, LF or CR; a
// line end at the end of the file does not start another line.
QStringList split_program_text(const QByteArray &bytes);

// The bytes of a program file: every line followed by LF, each character
// as its low byte.
QByteArray join_program_lines(const QStringList &lines);

// Reads a program file. False with the system's reason when it cannot be
// read.
bool read_program_file(const QString &path, QStringList *lines, QString *error);

// Writes `bytes` as the whole file at `path`: the old file is replaced only
// once every byte is on the disk, so a full disk or a failed write never
// leaves half a program behind. False with the system's reason.
bool write_program_file(const QString &path, const QByteArray &bytes, QString *error);

// Loads a program file into the machine's editor (UI thread): the file
// becomes the machine's file name, the editor goes to line 1 and counts as
// saved. A missing file gives the note "Can't find  <path>" and leaves the
// editor as it was. Only Normal machines load text; for the other file
// types nothing is loaded and the result says whether a web-remote transfer
// is under way.
bool load_editor_file(Machine &machine, const QString &path);

// Shows `path` as the machine's file name and remembers it as the file in
// its editor (nc_filename). Any thread: the change is made on the UI thread.
void display_filename(Machine &machine, const QString &path);

} // namespace dnc
