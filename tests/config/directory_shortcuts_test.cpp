#include "config/directory_shortcuts.h"
#include "config_test_files.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

TEST(DirectoryShortcuts, ReadsEveryKeyWithACommaInFileOrder)
{
    const IniFile ini = IniFile::from_bytes("[Dirs]\nDir2=Programs,/nc\nDir1=Old\nNotes=\n"
                                            "Extra=Jobs, 2024,/jobs/a,b\nDir3=,/empty-description\n"
                                            "Dir2=Shadowed,/never\n");
    const QList<DirectoryShortcut> expected = {
        {"Programs", "/nc"},
        {"Jobs", " 2024,/jobs/a,b"},
        {"", "/empty-description"},
    };
    EXPECT_EQ(read_directory_shortcuts(ini), expected);
    EXPECT_TRUE(read_directory_shortcuts(IniFile::from_bytes("[Mill]\nDir1=a,/b\n")).isEmpty());
}

TEST(DirectoryShortcuts, SaveWritesNumberedKeysInListOrder)
{
    QTemporaryDir dir;
    const QString path = dnc_ini_path(dir.path());
    test::write_file(path, "[Dirs]\nHome=Home,/home\nOld=Old,/old\n[Mill]\nCommPort=2\n");
    const QList<DirectoryShortcut> shortcuts = {{"Old", "/old"}, {"Home, mine", "/home/nc/"}};
    QString error;
    ASSERT_TRUE(save_directory_shortcuts(path, shortcuts, &error)) << error.toStdString();

    const IniFile ini(path);
    EXPECT_EQ(ini.keys("Dirs"), QStringList({"Dir1", "Dir2"}));
    EXPECT_EQ(ini.read_string("Dirs", "Dir2"), "Home, mine,/home/nc/");
    EXPECT_EQ(ini.read_string("Mill", "CommPort"), "2");
    // A comma in a description moves the rest into the path at the next read.
    const QList<DirectoryShortcut> reread = {{"Old", "/old"}, {"Home", " mine,/home/nc/"}};
    EXPECT_EQ(read_directory_shortcuts(ini), reread);

    ASSERT_TRUE(save_directory_shortcuts(path, {}, &error));
    EXPECT_FALSE(IniFile(path).has_section("Dirs"));
}

TEST(DirectoryShortcuts, FindsTheShortcutOfAFolder)
{
    const QList<DirectoryShortcut> shortcuts = {{"Programs", "/nc/progs"},
                                                {"Again", "/nc/progs/"},
                                                {"Jobs", "/jobs/"},
                                                {"Old", "/nc/v1.2"}};
    const std::pair<const char *, int> cases[] = {
        {"/nc/progs", 0}, {"/nc/progs/", 0},  {"/jobs", 2}, {"/jobs/", 2},
        {"/nc/v1.2", 3},  {"/NC/PROGS/", -1}, {"/nc", -1},  {"", -1},
    };
    for (const auto &[folder, index] : cases)
        EXPECT_EQ(find_shortcut(shortcuts, folder), index) << folder;
}

} // namespace
} // namespace dnc
