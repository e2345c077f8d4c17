#include "nc/file_check.h"

#include <QFile>

namespace dnc
{

namespace
{

// Characters of the editor text with CR LF after every line.
qint64 editor_text_size(const QStringList &lines)
{
    qint64 size = 0;
    for (const QString &line : lines)
        size += line.size() + 2;
    return size;
}

bool same_line(QByteArrayView file_line, const QString &editor_line)
{
    if (file_line.size() != editor_line.size())
        return false;
    for (qsizetype i = 0; i < file_line.size(); ++i) {
        if (editor_line[i].unicode() != static_cast<unsigned char>(file_line[i]))
            return false;
    }
    return true;
}

FileCheckVerdict compare_lines(const QStringList &editor_lines, QByteArrayView bytes)
{
    qsizetype line_number = 0;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const QByteArrayView file_line = bytes.sliced(pos, end - pos);
        if (line_number >= editor_lines.size() ||
            !same_line(file_line, editor_lines.at(line_number)))
            return FileCheckVerdict::Different;
        ++line_number;
        pos = end;
        if (pos < bytes.size() && bytes[pos] == '\r') {
            ++pos;
            if (pos < bytes.size() && bytes[pos] == '\n')
                ++pos;
        } else if (pos < bytes.size()) {
            ++pos; // '\n'
        }
    }
    return FileCheckVerdict::Same;
}

} // namespace

FileCheckVerdict check_file_verdict(const QStringList &editor_lines, const QByteArray &file_bytes)
{
    if (editor_lines.isEmpty())
        return FileCheckVerdict::NoText;
    if (file_bytes.size() != editor_text_size(editor_lines))
        return FileCheckVerdict::Different;
    return compare_lines(editor_lines, file_bytes);
}

FileCheckVerdict check_file_verdict(const QStringList &editor_lines, const QString &path,
                                    QString *error)
{
    if (editor_lines.isEmpty())
        return FileCheckVerdict::NoText;
    QFile file(path);
    if (file.exists() && file.size() != editor_text_size(editor_lines))
        return FileCheckVerdict::Different;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return FileCheckVerdict::Unreadable;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return FileCheckVerdict::Unreadable;
    }
    return check_file_verdict(editor_lines, bytes);
}

} // namespace dnc
