// One web remote request: its parameters, the session state kept between
// requests, and the handling that turns them into a reply and the actions to
// carry out on the UI thread. The handling is a plain function of its inputs
// (no sockets, no threads) so that it can be tested and fuzzed directly.
#pragma once

#include "remote/remote_files.h"
#include "remote/remote_host.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dnc
{

// Command codes of the "command" parameter.
enum RemoteCommand : int {
    RemoteOther = 0,
    RemoteLog = 1,
    RemoteReset = 2,
    RemoteReceive = 3,
    RemoteSend = 4,
    RemoteStatus = 5,
    RemoteNotify = 7,
    RemoteMachine = 8,
    RemoteFolders = 9,
    RemoteUpLevel = 10,
    RemoteDownLevel = 11,
    RemoteViewFile = 12,
    RemoteSearch = 13,
    RemoteHomeFolder = 14,
};

// The code of an upper-cased command text; RemoteOther for anything else.
int remote_command_code(const QString &command);

// Request parameters as the HTTP layer decoded them (query, then form body),
// in their order. Names are matched without regard to letter case; of a
// repeated parameter the first counts.
class RemoteParams
{
public:
    void add(std::string name, std::string value);
    bool empty() const { return params_.empty(); }
    // The value's bytes, or nothing when the parameter is missing.
    std::optional<std::string> raw(std::string_view name) const;
    // The value as text (UTF-8, or one character per byte when it is not
    // UTF-8); empty when missing.
    QString text(std::string_view name) const;

private:
    std::vector<std::pair<std::string, std::string>> params_;
};

// Decodes %XX escapes (the remote app encodes file names twice). A "%" that
// does not start an escape is kept as it is.
std::string percent_decode(std::string_view text);

// The session state: one set of values for every client, kept between
// requests.
struct RemoteSession {
    QString mask = QStringLiteral("*"); // file name pattern of listings
    QString folder;   // ends with "/", or "\" for the list of roots; empty until first set
    QString filename; // the "filename" parameter of the latest request
    QString machine_name;
    int machine_index = -1; // -1 until a request named a machine
    int pending_command = RemoteOther;

    // remote_folder := `path` with a trailing separator.
    void set_folder(const QString &path);
    // The mask of the machine's listing, and its read folder when it has one.
    void go_home(const RemoteMachineView &machine);
    // One folder up; from "/" (or before any folder was set) to the roots.
    void go_up();
    // Into `name` below the folder (or the root `name` from the roots list);
    // false, and the folder unchanged, when that folder does not exist.
    bool go_down(const QString &name);
};

// Something the request hands to the UI thread.
struct RemoteAction {
    enum Kind {
        SelectMachine, // select `index` in the drop-down, then the machine-change timer
        Note,          // note `text` for record `index`
        ReadyNote,     // the ready note of record `index`
        Command,       // `command` for record `index` with `path`, through the command timer
    };
    Kind kind = Note;
    int index = 0;
    int command = RemoteOther;
    QString text; // Note: the note; Command: the resolved file name
};

struct RemoteOutcome {
    QByteArray reply; // UTF-8 text
    std::vector<RemoteAction> actions;
};

// Where the handler finds the file-system roots (the list of "drives").
struct RemoteEnvironment {
    RootsProvider roots = file_system_roots;
};

// Handles one request against a snapshot of the machines, updating the
// session. Never throws; every input gives a reply (possibly empty).
RemoteOutcome handle_remote_request(const RemoteParams &params, const RemoteSnapshot &snapshot,
                                    RemoteSession &session, const RemoteEnvironment &env);

} // namespace dnc
