// Requests that a machine's operator sends from the control (auto-serve): a
// short program whose comment carries a marker and a file name. "(G*O1000)"
// asks for a file, "(S*PART7)" names the program that follows, "(L*)" asks
// for the log of saved files, "(X*)" resets, and the auto-save marker makes
// a program name its own file. Markers are the machine's settings
// (GetCommand, SaveCommand, LogCommand, ResetCommand, AutoSaveCommand); one
// matches anywhere in a line, with its letter case; an empty marker never
// matches.
//
// Everything here is a pure function of its arguments. File names use "/";
// a name from the machine may be written with "\" or "/".
#pragma once

#include "config/machine_settings_record.h"

#include <QString>
#include <QStringList>

namespace dnc
{

// How a name without a folder is completed.
enum class RequestKind {
    Save = 1, // into DefaultSaveDirectory
    Get = 2,  // from DefaultReadDirectory
};

// Only the first lines of a received program are looked at for requests.
inline constexpr int kRequestLines = 10;

// The file name of the saved-files log and of the reply to a request for a
// missing file, both in the user-data folder.
inline constexpr char kSavedFilesLogName[] = "log.nc";
inline constexpr char kNotFoundName[] = "notfound.nc";

// True when `marker` is not empty and occurs in `line`.
bool line_has_marker(const QString &line, const QString &marker);

// `folder` and `name` joined with exactly one "/" (just `name` when the
// folder is empty).
QString join_folder(const QString &folder, const QString &name);

// The folder a name without one goes to: the kind's default folder of the
// machine, else the folder shown in the file list.
QString request_default_folder(const MachineSettingsRecord &record, RequestKind kind,
                               const QString &file_list_folder);

// `name` with the machine's DefaultExtension appended when it has no
// extension, unless the default extension holds "*" (".*": any file).
QString with_default_extension(const QString &name, const QString &default_extension);

// The file a request line names. An empty line gives "temp.nc" in the
// default folder; a line without the marker gives an empty text. Otherwise
// the text after the marker up to the machine's EndCommentChar (")" when
// that is empty), trimmed, "\" turned into "/", "temp.nc" when nothing is
// left, the default extension added, and the default folder in front of a
// name without one.
QString request_file_name(const MachineSettingsRecord &record, RequestKind kind,
                          const QString &line, const QString &marker,
                          const QString &file_list_folder);

// The file a program with the auto-save marker names. With AutoSaveCommand
// ":" or "O" only a line that starts with it names a file, by the number
// of that word written with four digits (":12 (PART)" and "O12" give
// 0012 plus the default extension); a line without a number names none.
// Any other marker works as request_file_name() with kind Save.
QString auto_save_name(const MachineSettingsRecord &record, const QString &line,
                       const QString &file_list_folder);

// Whether a line that holds the auto-save marker names a file: with ":" or
// "O" only when the line starts with it.
bool auto_save_line_applies(const MachineSettingsRecord &record, const QString &line);

struct RequestFound {
    int code = RequestNone;     // RequestState: 0, 101, 102, 103 or 104
    QString filename;           // for 101 and 102: the file asked for, else empty
    bool show_filename = false; // a save request shows its name at once
};

// The request in the first lines of a received program (at most
// kRequestLines of `lines` are looked at). In each line: the auto-save
// marker is remembered (104) and the line is looked at further; the get
// marker gives 101 with the file, the save marker 102 with the file, the
// log marker 101 with the saved-files log in the user-data folder, the
// reset marker 103. The first of these wins; else 104 when an auto-save
// marker was seen, else 0.
RequestFound find_request(const QStringList &lines, const MachineSettingsRecord &record,
                          const QString &file_list_folder, const QString &user_data_folder);

// The program sent back for a requested file that does not exist: "%",
// the machine's LogProgNumber, the file's name without folder in brackets,
// "(FILE NOT FOUND)" or, when the folder is missing too, "(PATH NOT FOUND)",
// "M30", "%".
QStringList not_found_program(const QString &log_prog_number, const QString &requested_path,
                              bool folder_exists);

// The file name a web-remote receive saves under: the default extension
// added (unless it holds "*"), DefaultSaveDirectory in front of a name
// without folder.
QString complete_remote_file_name(const QString &name, const MachineSettingsRecord &record);

} // namespace dnc
