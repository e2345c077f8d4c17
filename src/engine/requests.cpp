#include "engine/requests.h"

#include "config/path_rules.h"
#include "nc/nc_word.h"

#include <cmath>

namespace dnc
{

namespace
{

const QString kTempName = QStringLiteral("temp.nc");

bool has_folder(const QString &name)
{
    return name.contains(QLatin1Char('/'));
}

QString file_name_part(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

bool line_has_marker(const QString &line, const QString &marker)
{
    return !marker.isEmpty() && line.contains(marker);
}

QString join_folder(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return name;
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString request_default_folder(const MachineSettingsRecord &record, RequestKind kind,
                               const QString &file_list_folder)
{
    const QString &folder =
        kind == RequestKind::Get ? record.DefaultReadDirectory : record.DefaultSaveDirectory;
    return folder.isEmpty() ? file_list_folder : folder;
}

QString with_default_extension(const QString &name, const QString &default_extension)
{
    if (default_extension.contains(QLatin1Char('*')) || has_file_extension(name))
        return name;
    return name + default_extension;
}

QString request_file_name(const MachineSettingsRecord &record, RequestKind kind,
                          const QString &line, const QString &marker,
                          const QString &file_list_folder)
{
    const QString folder = request_default_folder(record, kind, file_list_folder);
    if (line.isEmpty())
        return join_folder(folder, kTempName);
    if (!line_has_marker(line, marker))
        return {};
    QString name = line.mid(line.indexOf(marker) + marker.size());
    const QString end =
        record.EndCommentChar.isEmpty() ? QStringLiteral(")") : record.EndCommentChar;
    const qsizetype cut = name.indexOf(end);
    if (cut >= 0)
        name.truncate(cut);
    name = name.trimmed();
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (name.isEmpty())
        name = kTempName;
    name = with_default_extension(name, record.DefaultExtension);
    return has_folder(name) ? name : join_folder(folder, name);
}

bool auto_save_line_applies(const MachineSettingsRecord &record, const QString &line)
{
    const QString &marker = record.AutoSaveCommand;
    if (marker == QLatin1String(":") || marker == QLatin1String("O"))
        return line.startsWith(marker);
    return true;
}

QString auto_save_name(const MachineSettingsRecord &record, const QString &line,
                       const QString &file_list_folder)
{
    const QString &marker = record.AutoSaveCommand;
    if (line.isEmpty())
        return join_folder(request_default_folder(record, RequestKind::Save, file_list_folder),
                           kTempName);
    if (marker != QLatin1String(":") && marker != QLatin1String("O"))
        return request_file_name(record, RequestKind::Save, line, marker, file_list_folder);
    if (!line.startsWith(marker))
        return {};
    QString word = line;
    const qsizetype comment = word.indexOf(QLatin1Char('('));
    if (comment >= 0)
        word.truncate(comment);
    word = word.trimmed();
    const double value = ncword::GetValue(marker, word);
    if (value == ncword::kNoValue || !std::isfinite(value))
        return {};
    const QString numbered =
        marker + QStringLiteral("%1").arg(qlonglong(std::trunc(value)), 4, 10, QLatin1Char('0'));
    return request_file_name(record, RequestKind::Save, numbered, marker, file_list_folder);
}

RequestFound find_request(const QStringList &lines, const MachineSettingsRecord &record,
                          const QString &file_list_folder, const QString &user_data_folder)
{
    RequestFound found;
    bool auto_save = false;
    const qsizetype count = std::min<qsizetype>(lines.size(), kRequestLines);
    for (qsizetype i = 0; i < count; ++i) {
        const QString &line = lines.at(i);
        if (line_has_marker(line, record.AutoSaveCommand))
            auto_save = true;
        if (line_has_marker(line, record.GetCommand)) {
            found.code = RequestGet;
            found.filename = request_file_name(record, RequestKind::Get, line, record.GetCommand,
                                               file_list_folder);
            return found;
        }
        if (line_has_marker(line, record.SaveCommand)) {
            found.code = RequestSave;
            found.filename = request_file_name(record, RequestKind::Save, line, record.SaveCommand,
                                               file_list_folder);
            found.show_filename = true;
            return found;
        }
        if (line_has_marker(line, record.LogCommand)) {
            // The log keeps the letter case of its file: on a file system
            // that tells cases apart, "LOG.NC" would be another file.
            found.code = RequestGet;
            found.filename = join_folder(user_data_folder, QString::fromLatin1(kSavedFilesLogName));
            return found;
        }
        if (line_has_marker(line, record.ResetCommand)) {
            found.code = RequestReset;
            return found;
        }
    }
    found.code = auto_save ? RequestAutoSave : RequestNone;
    return found;
}

QStringList not_found_program(const QString &log_prog_number, const QString &requested_path,
                              bool folder_exists)
{
    const QString kind = folder_exists ? QStringLiteral("FILE") : QStringLiteral("PATH");
    return {QStringLiteral("%"),
            log_prog_number,
            QLatin1Char('(') + file_name_part(requested_path) + QLatin1Char(')'),
            QLatin1Char('(') + kind + QStringLiteral(" NOT FOUND)"),
            QStringLiteral("M30"),
            QStringLiteral("%")};
}

QString complete_remote_file_name(const QString &name, const MachineSettingsRecord &record)
{
    const QString completed = with_default_extension(name, record.DefaultExtension);
    if (has_folder(completed) || record.DefaultSaveDirectory.isEmpty())
        return completed;
    return join_folder(record.DefaultSaveDirectory, completed);
}

} // namespace dnc
