#include "app/install_paths.h"

#include <QSet>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

TEST(InstallPaths, ShortVersionIsTheFirstThreeCharacters)
{
    EXPECT_FALSE(version_string().isEmpty());
    EXPECT_EQ(short_version(), version_string().left(3));
}

TEST(InstallPaths, UserDataFolderChoice)
{
    struct Case {
        const char *what;
        QString data_dir;
        QString documents;
        QSet<QString> existing;
        QString expected;
    };
    const QString norvex = QStringLiteral("/home/op/Documents/Norvex/NorvexServer/");
    const Case cases[] = {
        {"--data-dir wins over an existing documents folder",
         "/srv/dnc",
         "/home/op/Documents",
         {norvex},
         "/srv/dnc/"},
        {"--data-dir keeps one trailing separator",
         "/srv/dnc//",
         "/home/op/Documents",
         {},
         "/srv/dnc/"},
        {"relative --data-dir is taken from the working folder",
         "shop/../data",
         "/home/op/Documents",
         {},
         "/work/cwd/data/"},
        {"documents/Norvex/NorvexServer when it exists",
         "",
         "/home/op/Documents",
         {norvex},
         norvex},
        {"documents folder exists but not Norvex/NorvexServer: program folder",
         "",
         "/home/op/Documents",
         {"/home/op/Documents/", "/home/op/Documents/Norvex/"},
         "/opt/norvex/bin/"},
        {"no documents folder at all: program folder", "", "", {norvex}, "/opt/norvex/bin/"},
        {"documents folder with a trailing separator", "", "/home/op/Documents/", {norvex}, norvex},
    };
    for (const Case &c : cases) {
        UserDataSources sources;
        sources.data_dir_option = c.data_dir;
        sources.working_folder = QStringLiteral("/work/cwd");
        sources.documents_folder = c.documents;
        sources.program_folder = QStringLiteral("/opt/norvex/bin");
        const QString chosen = choose_user_data_folder(
            sources, [&](const QString &folder) { return c.existing.contains(folder); });
        EXPECT_EQ(chosen, c.expected) << c.what;
    }
}

} // namespace
} // namespace dnc
