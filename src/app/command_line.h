// The server's command line.
//
// Our own options come first: "--headless", "--data-dir DIR" (or
// "--data-dir=DIR"), "--help" and "--version" may stand anywhere and are
// taken out before the operator's options are read. What remains is read
// as the desktop shortcut and file associations pass it:
//   "/MIN", "/MAX"  start minimised or maximised (any letter case);
//   "/I"            load the program from the back-plot program (exact case);
//   "<Mill 2>"      select that machine;
//   a file          load it into the first machine's editor;
//   "/P..."         print switches of the file association, ignored.
// Only arguments 1 to 3 are read; argument 4 only for "/P".
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace dnc
{

struct OwnOptions {
    bool headless = false;
    bool help = false;
    bool version = false;
    QString data_dir;      // empty when not given
    QString error;         // not empty when our own options are malformed
    QStringList remaining; // the operator's arguments, in order, without argv[0]
};

// Takes our own options out of `arguments` (without the program name).
OwnOptions split_own_options(const QStringList &arguments);

struct CommandLine {
    bool start_minimised = false;    // "/MIN"
    bool start_maximised = false;    // "/MAX"
    bool load_from_backplot = false; // "/I"
    QString machine_name;            // from "<name>"; empty when none
    QString file;                    // empty when none
};

// Reads the operator's arguments (argument 1 is arguments[0]). An argument
// that names an existing file or folder is never taken for a "/P" switch:
// on this system absolute paths start with "/", and "/Parts/O1000.nc" is a
// file, not a print switch. `path_exists` answers that question.
CommandLine parse_command_line(const QStringList &arguments,
                               const std::function<bool(const QString &)> &path_exists);

// Usage text for "--help".
QString usage_text();

} // namespace dnc
