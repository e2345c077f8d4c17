#include "app/install_paths.h"

#include "dnc_version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace dnc
{

QString version_string()
{
    return QStringLiteral(DNC_VERSION_STRING);
}

QString short_version()
{
    return version_string().left(3);
}

QString with_trailing_separator(const QString &path)
{
    QString clean = QDir::cleanPath(path);
    if (!clean.endsWith(QLatin1Char('/')))
        clean += QLatin1Char('/');
    return clean;
}

QString choose_user_data_folder(const UserDataSources &sources,
                                const std::function<bool(const QString &)> &folder_exists)
{
    if (!sources.data_dir_option.isEmpty()) {
        QString dir = sources.data_dir_option;
        if (QDir::isRelativePath(dir))
            dir = sources.working_folder + QLatin1Char('/') + dir;
        return with_trailing_separator(dir);
    }
    if (!sources.documents_folder.isEmpty()) {
        const QString candidate = with_trailing_separator(
            sources.documents_folder + QLatin1Char('/') + QLatin1String(kMakerFolder) +
            QLatin1Char('/') + QLatin1String(kProductFolder));
        if (folder_exists(candidate))
            return candidate;
    }
    return with_trailing_separator(sources.program_folder);
}

QString determine_user_data_folder(const QString &data_dir_option)
{
    UserDataSources sources;
    sources.data_dir_option = data_dir_option;
    sources.working_folder = QDir::currentPath();
    sources.documents_folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    sources.program_folder = QCoreApplication::applicationDirPath();
    return choose_user_data_folder(sources,
                                   [](const QString &folder) { return QFileInfo(folder).isDir(); });
}

} // namespace dnc
