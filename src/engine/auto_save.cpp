#include "engine/auto_save.h"

#include "engine/program_file.h"
#include "engine/requests.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace dnc
{

namespace
{

// A name split as the backup copies are numbered: base up to the first
// ".", extension from the last ".".
struct NameParts {
    QString base;
    QString extension;
};

NameParts split_name(const QString &name)
{
    const qsizetype first_dot = name.indexOf(QLatin1Char('.'));
    if (first_dot < 0)
        return {name, QString()};
    return {name.left(first_dot), name.mid(name.lastIndexOf(QLatin1Char('.')))};
}

} // namespace

QString complete_save_path(const QString &name, const QString &default_save_directory,
                           const QString &user_data_folder)
{
    if (name.contains(QLatin1Char('/')))
        return name;
    if (!default_save_directory.isEmpty())
        return join_folder(default_save_directory, name);
    return join_folder(user_data_folder, name);
}

QString backup_file_name(const QString &file_name, const QStringList &existing_names)
{
    const NameParts parts = split_name(file_name);
    int largest = 0;
    for (const QString &existing : existing_names) {
        const qsizetype dash = existing.lastIndexOf(QLatin1Char('-'));
        if (dash < 0 || existing.left(dash).compare(parts.base, Qt::CaseInsensitive) != 0)
            continue;
        const qsizetype dot = existing.lastIndexOf(QLatin1Char('.'));
        const bool has_dot = dot > dash;
        const QString extension = has_dot ? existing.mid(dot) : QString();
        if (extension.compare(parts.extension, Qt::CaseInsensitive) != 0)
            continue;
        const QString number = existing.mid(dash + 1, has_dot ? dot - dash - 1 : -1);
        bool ok = false;
        const int value = number.toInt(&ok);
        if (ok)
            largest = std::max(largest, value);
    }
    return parts.base + QLatin1Char('-') +
           QStringLiteral("%1").arg(qlonglong(largest) + 1, 2, 10, QLatin1Char('0')) +
           parts.extension;
}

SaveOutcome save_program(const QString &path, const QStringList &lines,
                         const QString &backup_directory)
{
    SaveOutcome outcome;
    const QFileInfo info(path);
    if (!info.dir().exists()) {
        outcome.problem = QStringLiteral("the folder %1 does not exist").arg(info.path());
        return outcome;
    }
    const QByteArray bytes = join_program_lines(lines);
    QString error;
    if (!write_program_file(path, bytes, &error)) {
        outcome.problem = error;
        return outcome;
    }
    outcome.saved = true;
    outcome.size = bytes.size();
    if (backup_directory.isEmpty())
        return outcome;

    const QDir backups(backup_directory);
    if (!backups.exists()) {
        outcome.backup_problem =
            QStringLiteral("the backup folder %1 does not exist").arg(backup_directory);
        return outcome;
    }
    const QStringList existing = backups.entryList(QDir::Files | QDir::Hidden);
    outcome.backup_path = backups.filePath(backup_file_name(info.fileName(), existing));
    if (!write_program_file(outcome.backup_path, bytes, &error))
        outcome.backup_problem = error;
    return outcome;
}

} // namespace dnc
