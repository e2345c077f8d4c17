// Where the server keeps its editable files (the user-data folder) and which
// version it is. Both are settled once at start, before DNC.ini is read, and
// never change afterwards.
#pragma once

#include <QString>
#include <functional>

namespace dnc
{

// The program's version, e.g. "1.0.0".
QString version_string();

// The first three characters of the version, e.g. "1.0".
QString short_version();

// Folder names under the documents folder: <documents>/Norvex/NorvexServer/.
inline constexpr char kMakerFolder[] = "Norvex";
inline constexpr char kProductFolder[] = "NorvexServer";

// Everything the choice of the user-data folder depends on.
struct UserDataSources {
    QString data_dir_option;  // --data-dir as given; empty when not given
    QString working_folder;   // resolves a relative --data-dir
    QString documents_folder; // the user's documents folder; empty when the system names none
    QString program_folder;   // folder of the running program
};

// Chooses the user-data folder:
//   1. --data-dir when given (made absolute against the working folder);
//   2. else <documents>/Norvex/NorvexServer/ when that folder exists;
//   3. else the program folder.
// The result is a clean absolute path that always ends with "/".
// `folder_exists` is asked only about the documents candidate.
QString choose_user_data_folder(const UserDataSources &sources,
                                const std::function<bool(const QString &)> &folder_exists);

// The same choice with this process's documents folder, working folder and
// program folder.
QString determine_user_data_folder(const QString &data_dir_option);

// `path` cleaned, with exactly one trailing "/".
QString with_trailing_separator(const QString &path);

} // namespace dnc
