#include "config/path_rules.h"

namespace dnc
{

bool has_file_extension(const QString &path)
{
    const qsizetype last_separator = path.lastIndexOf(QLatin1Char('/'));
    return path.indexOf(QLatin1Char('.'), last_separator + 1) >= 0;
}

QString normalize_folder(const QString &path, const QString &prefix)
{
    if (path.isEmpty())
        return path;
    if (!path.contains(QLatin1Char('/')))
        return prefix + path;
    if (!has_file_extension(path) && !path.endsWith(QLatin1Char('/')))
        return path + QLatin1Char('/');
    return path;
}

QString normalize_extension(const QString &extension)
{
    const QString text = extension.trimmed();
    if (text.isEmpty())
        return QStringLiteral(".*");
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    return dot < 0 ? QLatin1Char('.') + text : text.mid(dot);
}

} // namespace dnc
