#include "engine/program_file.h"

#include "comm/tape_code.h"
#include "engine/engine.h"
#include "engine/machine.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace dnc
{

QStringList split_program_text(const QByteArray &bytes)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines.append(QString::fromLatin1(bytes.constData() + start, i - start));
        if (c == '\r' && i + 1 < size && bytes.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(QString::fromLatin1(bytes.constData() + start, size - start));
    return lines;
}

QByteArray join_program_lines(const QStringList &lines)
{
    qsizetype size = 0;
    for (const QString &line : lines)
        size += line.size() + 1;
    QByteArray bytes;
    bytes.reserve(size);
    for (const QString &line : lines) {
        bytes.append(text_to_line_bytes(line));
        bytes.append('\n');
    }
    return bytes;
}

bool read_program_file(const QString &path, QStringList *lines, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    *lines = split_program_text(bytes);
    return true;
}

bool write_program_file(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

bool load_editor_file(Machine &machine, const QString &path)
{
    MachineSettingsRecord &r = machine.record();
    if (r.file_type != FileNormal)
        return machine.engine().remote_command_active;
    Workspace &ws = machine.workspace();
    const int index = machine.index();
    const QFileInfo info(path);
    QStringList lines;
    QString error;
    if (!info.isFile()) {
        machine.note(QStringLiteral("Can't find  ") + path);
        return false;
    }
    if (!read_program_file(path, &lines, &error)) {
        machine.note(QStringLiteral("Cannot Open File %1: %2").arg(path, error));
        return false;
    }
    ws.set_editor_text(index, lines);
    display_filename(machine, info.absoluteFilePath());
    ws.highlight_line(index, 1);
    r.memo_modified = false;
    return true;
}

void display_filename(Machine &machine, const QString &path)
{
    machine.run_on_ui([&machine, path] {
        machine.record().nc_filename = path;
        machine.workspace().set_and_display_filename(machine.index(), path);
    });
}

} // namespace dnc
