// "Check File": is the program in the editor the same as a file on disk?
//
// The editor text counts a carriage return and line feed after every line,
// the last one included. When the file's size in bytes differs from that
// character count the verdict is "different"; otherwise the file is read line
// by line (bytes as Latin-1 characters; CR LF, LF or CR end a line) and
// compared exactly with the editor line of the same number, stopping at the
// first difference or at a file line the editor lacks. Running out of file
// lines with all compared lines equal is "same".
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace dnc
{

enum class FileCheckVerdict {
    Same,       // "Files Are Same"
    Different,  // "Files are different"
    NoText,     // the editor is empty: "No Text in Editor"
    Unreadable, // the file is missing or cannot be read
};

// Verdict over the file's contents.
FileCheckVerdict check_file_verdict(const QStringList &editor_lines, const QByteArray &file_bytes);

// Verdict over a file on disk. `error` (when given) receives the reason for
// Unreadable.
FileCheckVerdict check_file_verdict(const QStringList &editor_lines, const QString &path,
                                    QString *error = nullptr);

} // namespace dnc
