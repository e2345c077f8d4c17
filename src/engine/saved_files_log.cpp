#include "engine/saved_files_log.h"

#include "engine/program_file.h"

#include <QFileInfo>
#include <algorithm>

namespace dnc
{

namespace
{

// "%", the marker line and the title come before the entries; "%" ends it.
constexpr int kHeaderLines = 3;
constexpr int kFrameLines = 4;

} // namespace

QStringList new_saved_files_log(const QString &log_command)
{
    const QString marker_line =
        log_command.isEmpty() ? QStringLiteral("()") : log_command + QStringLiteral(" )");
    return {QStringLiteral("%"), marker_line, QStringLiteral("(SAVED FILES LOG)"),
            QStringLiteral("%")};
}

QString saved_files_log_entry(const QString &path, const QDateTime &when, qint64 size,
                              const QLocale &locale)
{
    return QLatin1Char('(') + path.toUpper() + QLatin1Char(' ') +
           locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), QLocale::ShortFormat) + QLatin1Char(' ') +
           QString::number(size) + QStringLiteral("CHARS)");
}

QStringList with_saved_files_log_entry(QStringList log, const QString &entry, int max_log,
                                       const QString &log_command)
{
    if (log.size() < kFrameLines)
        log = new_saved_files_log(log_command);
    log.insert(kHeaderLines, entry);
    const int kept = std::max(max_log, 0);
    while (log.size() > kept + kFrameLines)
        log.removeAt(kept + kHeaderLines);
    return log;
}

bool add_to_saved_files_log(const QString &log_path, const QString &entry, int max_log,
                            const QString &log_command, QString *error)
{
    QStringList log;
    if (QFileInfo::exists(log_path) && !read_program_file(log_path, &log, error))
        return false;
    log = with_saved_files_log_entry(log, entry, max_log, log_command);
    return write_program_file(log_path, join_program_lines(log), error);
}

} // namespace dnc
