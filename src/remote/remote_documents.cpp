#include "remote/remote_documents.h"

#include "remote/remote_files.h"

namespace dnc
{

namespace
{

const QString crlf = QStringLiteral("\r\n");

QString line(const QString &key, const QString &value)
{
    return key + u'=' + value + crlf;
}

// `text` with every line ending as CR LF, whatever it ended with before; an
// unfinished last line gets one too when `end_last_line` is set.
QString with_crlf_lines(const QString &text, bool end_last_line)
{
    QString out;
    out.reserve(text.size() + text.size() / 16);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        out += QStringView(text).mid(start, i - start);
        out += crlf;
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size()) {
        out += QStringView(text).mid(start);
        if (end_last_line)
            out += crlf;
    }
    return out;
}

} // namespace

QString remote_file_time(const QDateTime &local)
{
    const QDate date = local.date();
    const QTime time = local.time();
    const int hour = time.hour();
    const int dial = hour == 0 ? 12 : (hour <= 12 ? hour : hour - 12);
    return QStringLiteral("%1/%2/%3;%4:%5%6")
        .arg(date.month())
        .arg(date.day())
        .arg(date.year() % 100)
        .arg(dial)
        .arg(time.minute(), 2, 10, QChar(u'0'))
        .arg(hour <= 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

QString status_document(const RemoteMachineView &machine, const QString &mask,
                        const QString &status_text, const QString &current_filename)
{
    const QChar mode = machine.auto_serve ? u'1' : (machine.file_type == 1 ? u'2' : u'0');
    return QStringLiteral("[DUREravur]") + crlf +
           line(QStringLiteral("DefaultExt"), machine.default_extension) +
           line(QStringLiteral("Mask"), mask) + line(QStringLiteral("Mode"), QString(mode)) +
           line(QStringLiteral("Status"), status_text) +
           line(QStringLiteral("Version"), QStringLiteral("2")) +
           line(QStringLiteral("CurrentFilename"), current_filename);
}

QString machine_document(const QStringList &names, const QString &current_machine)
{
    QString doc = line(QStringLiteral("MachineCount"), QString::number(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i)
        doc += line(QStringLiteral("Machine") + QString::number(i), names[i]);
    return doc + line(QStringLiteral("CurrentMachine"), current_machine);
}

QString folder_document(const QString &folder, const QString &mask, const QStringList &roots)
{
    QStringList entries;
    if (folder == QStringLiteral("\\"))
        entries = roots.mid(0, kRemoteListLimit);
    else if (!folder.isEmpty())
        entries = list_subfolders(folder, mask.contains(u'.') ? QStringLiteral("*") : mask,
                                  kRemoteListLimit);
    QString doc = line(QStringLiteral("Path"), folder);
    for (qsizetype i = 0; i < entries.size(); ++i)
        doc += line(QStringLiteral("Folder") + QString::number(i), entries[i]);
    return doc + line(QStringLiteral("FolderCount"), QString::number(entries.size()));
}

QString file_document(const QString &folder, const QString &mask)
{
    QList<ListedFile> files;
    if (!folder.isEmpty() && folder != QStringLiteral("\\"))
        files = list_files(folder, mask, kRemoteListLimit);
    QString doc;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const ListedFile &f = files[i];
        doc += line(QStringLiteral("File") + QString::number(i),
                    f.name + u';' + u'(' + QString::number(f.size) + QStringLiteral(") ") +
                        remote_file_time(f.modified));
    }
    return doc + line(QStringLiteral("FileCount"), QString::number(files.size()));
}

QString notify_document(const RemoteMachineView &machine)
{
    return QStringLiteral("[DUREravur]") + crlf +
           line(QStringLiteral("Mode"),
                machine.auto_serve ? QStringLiteral("1") : QStringLiteral("0")) +
           QStringLiteral("Status=") + machine.status_text;
}

QString view_document(const QString &path, const QString &status_text)
{
    const ViewedFile file = read_file_head(path, kRemoteViewLimit);
    if (!file.ok)
        return QStringLiteral("File not found");
    QString doc = QStringLiteral("Status:") + status_text + QStringLiteral("<br>") + crlf + path +
                  crlf +
                  with_crlf_lines(text_from_bytes(file.bytes, file.truncated), !file.truncated);
    if (file.truncated)
        doc += crlf + QStringLiteral("File over ") + QString::number(kRemoteViewLimit) +
               QStringLiteral(" Chars");
    return doc;
}

QString busy_reply(const RemoteMachineView &machine)
{
    return QStringLiteral("Status: Sending in progress<br>File:") + machine.nc_filename +
           QStringLiteral("</td>");
}

} // namespace dnc
