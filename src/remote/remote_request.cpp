#include "remote/remote_request.h"

#include "remote/remote_documents.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cctype>

namespace dnc
{

namespace
{

bool same_name(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QString text_of(const std::string &bytes)
{
    return text_from_bytes(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// A path as this system spells a folder: clean, absolute, one trailing "/".
QString folder_form(const QString &path)
{
    QString clean = QDir::cleanPath(path);
    if (!clean.endsWith(u'/'))
        clean += u'/';
    return clean;
}

bool folder_exists(const QString &path)
{
    if (path.isEmpty() || path.contains(QChar(0)) || !QDir::isAbsolutePath(path))
        return false;
    return QFileInfo(path).isDir();
}

bool file_exists(const QString &path)
{
    if (path.contains(QChar(0)) || !QDir::isAbsolutePath(path))
        return false;
    return QFileInfo(path).isFile();
}

// The record the request acts on: the drop-down's machine in multi-machine
// mode, record 0 in single-machine mode. -1 when there is no record at all.
int current_record(const RemoteSnapshot &snapshot, int selected)
{
    if (snapshot.records.empty())
        return -1;
    if (!snapshot.multi_machine)
        return 0;
    return std::clamp(selected, 0, static_cast<int>(snapshot.records.size()) - 1);
}

int machine_position(const QStringList &names, const QString &name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

int remote_command_code(const QString &command)
{
    static const std::array<std::pair<const char *, int>, 13> codes{{
        {"LOG", RemoteLog},
        {"RESET", RemoteReset},
        {"RECEIVE", RemoteReceive},
        {"SEND", RemoteSend},
        {"STATUS", RemoteStatus},
        {"NOTIFY", RemoteNotify},
        {"MACHINE", RemoteMachine},
        {"FOLDERS", RemoteFolders},
        {"UPLEVEL", RemoteUpLevel},
        {"DOWNLEVEL", RemoteDownLevel},
        {"VIEWFILE", RemoteViewFile},
        {"SEARCH", RemoteSearch},
        {"HOMEFOLDER", RemoteHomeFolder},
    }};
    for (const auto &[text, code] : codes) {
        if (command == QLatin1String(text))
            return code;
    }
    return RemoteOther;
}

void RemoteParams::add(std::string name, std::string value)
{
    params_.emplace_back(std::move(name), std::move(value));
}

std::optional<std::string> RemoteParams::raw(std::string_view name) const
{
    for (const auto &[key, value] : params_) {
        if (same_name(key, name))
            return value;
    }
    return std::nullopt;
}

QString RemoteParams::text(std::string_view name) const
{
    const std::optional<std::string> value = raw(name);
    return value ? text_of(*value) : QString();
}

std::string percent_decode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
            hex_value(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

void RemoteSession::set_folder(const QString &path)
{
    folder = folder_form(path);
}

void RemoteSession::go_home(const RemoteMachineView &machine)
{
    mask = machine.filter_files && !machine.default_extension.isEmpty()
               ? u'*' + machine.default_extension
               : QStringLiteral("*");
    if (!machine.default_read_directory.isEmpty())
        set_folder(remote_local_path(machine.default_read_directory));
}

void RemoteSession::go_up()
{
    if (folder == QStringLiteral("\\") || folder.isEmpty() || QDir::cleanPath(folder) == u'/') {
        folder = QStringLiteral("\\");
        return;
    }
    set_folder(QDir::cleanPath(folder + QStringLiteral("/..")));
}

bool RemoteSession::go_down(const QString &name)
{
    const QString below = remote_local_path(name.trimmed());
    const QString path = folder == QStringLiteral("\\") ? below : join_remote_folder(folder, below);
    if (!folder_exists(path))
        return false;
    set_folder(path);
    return true;
}

RemoteOutcome handle_remote_request(const RemoteParams &params, const RemoteSnapshot &snapshot,
                                    RemoteSession &session, const RemoteEnvironment &env)
{
    RemoteOutcome out;
    const auto roots = [&env] {
        return env.roots ? env.roots() : QStringList{QStringLiteral("/")};
    };

    if (params.empty()) {
        const int addressed =
            current_record(snapshot, session.machine_index >= 0 ? session.machine_index
                                                                : snapshot.selected_machine);
        if (addressed >= 0)
            out.reply = status_document(snapshot.records[addressed], session.mask,
                                        QStringLiteral("Connected"), session.filename)
                            .toUtf8();
        return out;
    }

    const QString command = params.text("command").toUpper();
    const int code = remote_command_code(command);
    session.pending_command = code;

    const std::optional<std::string> filename = params.raw("filename");
    session.filename = filename ? text_of(percent_decode(*filename)) : QString();

    // The machine: the one named (letter case aside), else the drop-down's.
    // An unknown name means the drop-down's machine, and the session then
    // carries that machine's name rather than the unknown one.
    int selected = snapshot.selected_machine;
    const int named = machine_position(snapshot.machine_names, params.text("machine"));
    session.machine_index = named >= 0 ? named : selected;
    session.machine_name =
        session.machine_index >= 0 && session.machine_index < snapshot.machine_names.size()
            ? snapshot.machine_names[session.machine_index]
            : QString();
    if (session.machine_index != selected && session.machine_index >= 0) {
        selected = session.machine_index;
        out.actions.push_back({RemoteAction::SelectMachine, selected, RemoteOther, {}});
    }

    const QString mask = params.text("mask");
    session.mask = mask.isEmpty()
                       ? QStringLiteral("*")
                       : QString(mask).replace(QStringLiteral("**"), QStringLiteral("*"));

    const int record = current_record(snapshot, selected);
    if (record < 0) {
        // No machine at all: nothing to report or act on.
        out.reply = code == RemoteOther ? command.toUtf8() : QByteArray();
        return out;
    }
    const RemoteMachineView &machine = snapshot.records[record];
    const auto resolved = [&] {
        return resolve_remote_filename(
            remote_local_path(session.filename), machine.default_extension,
            remote_local_path(machine.default_save_directory), snapshot.file_list_folder);
    };
    const auto status = [&](const QString &text) {
        return status_document(machine, session.mask, text, session.filename);
    };
    const auto folders_and_files = [&](const QString &text) {
        return status(text) + folder_document(session.folder, session.mask, roots()) +
               file_document(session.folder, session.mask);
    };

    QString reply;
    switch (code) {
    case RemoteLog:
        break;
    case RemoteReset:
        session.mask = QStringLiteral("*");
        out.actions.push_back({RemoteAction::Command, record, RemoteReset, {}});
        out.actions.push_back({RemoteAction::ReadyNote, record, RemoteOther, {}});
        reply = status(machine.status_text);
        break;
    case RemoteReceive:
        if (machine.sending) {
            reply = busy_reply(machine);
            break;
        }
        out.actions.push_back({RemoteAction::Command, record, RemoteReceive, resolved()});
        reply = notify_document(machine);
        break;
    case RemoteSend: {
        if (machine.sending) {
            reply = busy_reply(machine);
            break;
        }
        const QString path = resolved();
        if (file_exists(path))
            out.actions.push_back({RemoteAction::Command, record, RemoteSend, path});
        else
            out.actions.push_back({RemoteAction::Note, record, RemoteOther,
                                   QStringLiteral("File not found:") + path});
        reply = notify_document(machine);
        break;
    }
    case RemoteStatus:
        if (session.filename.isEmpty())
            session.go_home(machine);
        reply = status(machine.status_text) +
                machine_document(snapshot.machine_names, session.machine_name);
        break;
    case RemoteNotify:
        reply = notify_document(machine);
        break;
    case RemoteMachine:
        reply = status(machine.status_text) +
                folder_document(session.folder, session.mask, roots()) +
                machine_document(snapshot.machine_names, session.machine_name);
        break;
    case RemoteFolders:
        reply = folders_and_files(QStringLiteral("Folders Loaded"));
        break;
    case RemoteUpLevel:
        session.go_up();
        reply = folders_and_files(QStringLiteral("Folders Loaded"));
        break;
    case RemoteDownLevel:
        if (session.go_down(params.text("downfolder")))
            reply = folders_and_files(QStringLiteral("Folders Loaded"));
        break;
    case RemoteViewFile:
        reply = view_document(resolved(), machine.status_text);
        break;
    case RemoteSearch:
        reply = folders_and_files(QStringLiteral("Search: ") + session.mask);
        break;
    case RemoteHomeFolder:
        session.go_home(machine);
        reply = folders_and_files(QStringLiteral("Folders Loaded"));
        break;
    default:
        reply = command;
        break;
    }
    out.reply = reply.toUtf8();
    return out;
}

} // namespace dnc
