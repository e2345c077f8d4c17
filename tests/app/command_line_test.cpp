#include "app/command_line.h"

#include <QSet>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

TEST(CommandLine, OwnOptionsAreTakenOutAnywhere)
{
    struct Case {
        QStringList args;
        bool headless;
        QString data_dir;
        QStringList remaining;
        bool error;
    };
    const Case cases[] = {
        {{}, false, "", {}, false},
        {{"--headless", "--data-dir", "/d"}, true, "/d", {}, false},
        {{"/MIN", "--data-dir=/d", "O1.nc", "--headless"}, true, "/d", {"/MIN", "O1.nc"}, false},
        {{"<Mill>", "--data-dir"}, false, "", {"<Mill>"}, true},
        {{"--data-dir="}, false, "", {}, true},
        {{"--data-dir", ""}, false, "", {}, true},
        {{"-headless", "headless"}, false, "", {"-headless", "headless"}, false},
    };
    for (const Case &c : cases) {
        const OwnOptions own = split_own_options(c.args);
        const QString what = c.args.join(QLatin1Char(' '));
        EXPECT_EQ(own.headless, c.headless) << what.toStdString();
        EXPECT_EQ(own.data_dir, c.data_dir) << what.toStdString();
        EXPECT_EQ(own.remaining, c.remaining) << what.toStdString();
        EXPECT_EQ(!own.error.isEmpty(), c.error) << what.toStdString();
    }
}

TEST(CommandLine, OperatorArguments)
{
    struct Case {
        QStringList args;
        bool min, max, backplot;
        QString machine;
        QString file;
    };
    const Case cases[] = {
        {{}, false, false, false, "", ""},
        {{"O1000.nc"}, false, false, false, "", "O1000.nc"},
        {{"/min"}, true, false, false, "", ""},
        {{"/Max", "O1.nc"}, false, true, false, "", "O1.nc"},
        {{"/MIN", "/MAX"}, true, true, false, "", ""},
        // "/I" only in exact case; lower case is a file name.
        {{"/I"}, false, false, true, "", ""},
        {{"/i"}, false, false, false, "", "/i"},
        // A machine name in angle brackets, then a file.
        {{"<Mill 2>", "/parts/O1.nc"}, false, false, false, "Mill 2", "/parts/O1.nc"},
        {{"x<Lathe>y"}, false, false, false, "Lathe", ""},
        {{"<Lathe"}, false, false, false, "Lathe", ""},
        {{"<A>", "<B>"}, false, false, false, "A", "<B>"},
        // The file is the first argument not consumed, whatever its position.
        {{"", "O2.nc"}, false, false, false, "", "O2.nc"},
        {{"/MIN", "<M>", "O3.nc"}, true, false, false, "M", "O3.nc"},
        // Only arguments 1 to 3 are read.
        {{"/MIN", "/MAX", "/I", "O4.nc"}, true, true, true, "", ""},
        {{"/MIN", "/MAX", "/I", "/MIN"}, true, true, true, "", ""},
        // Print switches are consumed wherever "/P" appears.
        {{"/PT", "O5.nc", "HP LaserJet", "LPT1:"}, false, false, false, "", "O5.nc"},
        {{"/p", "O6.nc"}, false, false, false, "", "/p"},
        {{"x/Py", "<M>"}, false, false, false, "M", ""},
        // An existing path that contains "/P" is a file, not a print switch.
        {{"/Parts/O7.nc"}, false, false, false, "", "/Parts/O7.nc"},
        {{"/Parts/missing.nc", "O8.nc"}, false, false, false, "", "O8.nc"},
    };
    const QSet<QString> existing = {QStringLiteral("/Parts/O7.nc")};
    for (const Case &c : cases) {
        const CommandLine cmd =
            parse_command_line(c.args, [&](const QString &p) { return existing.contains(p); });
        const std::string what = c.args.join(QLatin1String(" | ")).toStdString();
        EXPECT_EQ(cmd.start_minimised, c.min) << what;
        EXPECT_EQ(cmd.start_maximised, c.max) << what;
        EXPECT_EQ(cmd.load_from_backplot, c.backplot) << what;
        EXPECT_EQ(cmd.machine_name, c.machine) << what;
        EXPECT_EQ(cmd.file, c.file) << what;
    }
}

} // namespace
} // namespace dnc
