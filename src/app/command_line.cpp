#include "app/command_line.h"

#include <array>

namespace dnc
{

namespace
{

const QString kHeadless = QStringLiteral("--headless");
const QString kDataDir = QStringLiteral("--data-dir");
const QString kDataDirEq = QStringLiteral("--data-dir=");

} // namespace

OwnOptions split_own_options(const QStringList &arguments)
{
    OwnOptions own;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == kHeadless) {
            own.headless = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            own.help = true;
        } else if (arg == QLatin1String("--version")) {
            own.version = true;
        } else if (arg == kDataDir) {
            own.data_dir.clear();
            if (i + 1 < arguments.size())
                own.data_dir = arguments.at(++i);
            if (own.data_dir.isEmpty())
                own.error = QStringLiteral("--data-dir needs a folder");
        } else if (arg.startsWith(kDataDirEq)) {
            own.data_dir = arg.mid(kDataDirEq.size());
            if (own.data_dir.isEmpty())
                own.error = QStringLiteral("--data-dir needs a folder");
        } else {
            own.remaining.append(arg);
        }
    }
    return own;
}

CommandLine parse_command_line(const QStringList &arguments,
                               const std::function<bool(const QString &)> &path_exists)
{
    constexpr int kRead = 3;     // arguments 1 to 3
    constexpr int kReadForP = 4; // argument 4 only for "/P"
    std::array<QString, kReadForP> arg;
    std::array<bool, kReadForP> consumed{};
    for (int i = 0; i < kReadForP; ++i) {
        if (i < arguments.size())
            arg[i] = arguments.at(i);
        consumed[i] = arg[i].isEmpty();
    }

    CommandLine result;
    for (int i = 0; i < kReadForP; ++i) {
        if (!consumed[i] && arg[i].contains(QLatin1String("/P")) && !path_exists(arg[i]))
            consumed[i] = true;
    }
    for (int i = 0; i < kRead; ++i) {
        if (consumed[i])
            continue;
        if (arg[i].compare(QLatin1String("/MIN"), Qt::CaseInsensitive) == 0) {
            consumed[i] = true;
            result.start_minimised = true;
        } else if (arg[i].compare(QLatin1String("/MAX"), Qt::CaseInsensitive) == 0) {
            consumed[i] = true;
            result.start_maximised = true;
        } else if (arg[i] == QLatin1String("/I")) {
            consumed[i] = true;
            result.load_from_backplot = true;
        }
    }
    for (int i = 0; i < kRead; ++i) {
        if (consumed[i] || !arg[i].contains(QLatin1Char('<')))
            continue;
        const qsizetype open = arg[i].indexOf(QLatin1Char('<'));
        const qsizetype close = arg[i].indexOf(QLatin1Char('>'), open + 1);
        result.machine_name =
            close < 0 ? arg[i].mid(open + 1) : arg[i].mid(open + 1, close - open - 1);
        consumed[i] = true;
        break;
    }
    for (int i = 0; i < kRead; ++i) {
        if (!consumed[i]) {
            result.file = arg[i];
            break;
        }
    }
    return result;
}

QString usage_text()
{
    return QStringLiteral(
        "Usage: dncserver [--headless] [--data-dir DIR] [/MIN | /MAX] [/I] [<machine>] [file]\n"
        "\n"
        "  --headless      run without a window; status notes are printed as\n"
        "                  \"<machine name>: <text>\"; SIGINT or SIGTERM stop the server\n"
        "  --data-dir DIR  user-data folder holding DNC.ini (default: the folder\n"
        "                  Norvex/NorvexServer in the documents folder when it exists,\n"
        "                  else the program's folder)\n"
        "  --version       print the version and exit\n"
        "  /MIN, /MAX      start the window minimised or maximised\n"
        "  /I              load the program from the back-plot program\n"
        "  <machine>       select this machine at start\n"
        "  file            load this file into the first machine's editor; if a server\n"
        "                  is already running, it is handed to that server\n");
}

} // namespace dnc
