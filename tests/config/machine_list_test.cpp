#include "config/machine_list.h"
#include "config_test_files.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

using test::read_file;
using test::write_file;

// DNC.ini of a small shop in a temporary user-data folder.
class MachineListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = dnc_ini_path(dir.path());
        write_file(path, "; machines of bay 2\n"
                         "[DUREravur]\nMultiServer=1\n\n"
                         "[Lathe1]\nCommPort=1\nDefaultDir=/nc/lathe/\n\n"
                         "[Dirs]\nDir1=Programs,/nc\n\n"
                         "[Mill2]\nCommPort=2\n\n"
                         "[Router]\nCommPort=3\nCommPort=9\n");
    }
    QStringList machines() const { return reload_machine_list(IniFile(path)); }

    QTemporaryDir dir;
    QString path;
};

TEST_F(MachineListTest, ListsMachineSectionsInFileOrder)
{
    EXPECT_EQ(machines(), QStringList({"Lathe1", "Mill2", "Router"}));
    EXPECT_EQ(reload_machine_list(IniFile::from_bytes("[dureravur]\n[DIRS]\n")),
              QStringList({"Default"}));
    EXPECT_EQ(reload_machine_list(IniFile(dir.filePath("missing.ini"))), QStringList({"Default"}));
}

TEST_F(MachineListTest, AddsAFreshMachineOrACopy)
{
    ASSERT_TRUE(add_machine(path, "Mill3").ok());
    ASSERT_TRUE(add_machine(path, " Lathe2 ", "lathe1").ok());
    EXPECT_EQ(machines(), QStringList({"Lathe1", "Mill2", "Router", "Mill3", "Lathe2"}));

    const IniFile ini(path);
    EXPECT_EQ(ini.keys("Mill3"), QStringList({"DefaultDir"}));
    EXPECT_EQ(ini.read_string("Mill3", "DefaultDir"), "/");
    EXPECT_EQ(ini.keys("Lathe2"), ini.keys("Lathe1"));
    for (const QString &key : ini.keys("Lathe1"))
        EXPECT_EQ(ini.read_string("Lathe2", key), ini.read_string("Lathe1", key));

    // A copy takes the first value of a repeated key; a source without keys
    // gives a fresh machine.
    ASSERT_TRUE(add_machine(path, "Router2", "Router").ok());
    ASSERT_TRUE(add_machine(path, "Ghost2", "Ghost").ok());
    const IniFile after(path);
    EXPECT_EQ(after.read_string("Router2", "CommPort"), "3");
    EXPECT_EQ(after.keys("Ghost2"), QStringList({"DefaultDir"}));
}

TEST_F(MachineListTest, RefusesNamesThatCannotBeAdded)
{
    const QByteArray before = read_file(path);
    const std::pair<const char *, MachineListStatus> cases[] = {
        {"mill2", MachineListStatus::NameTaken},
        {"  ", MachineListStatus::EmptyName},
        {"Dirs", MachineListStatus::InvalidName},
        {"dureravur", MachineListStatus::InvalidName},
        {"Bad]Name", MachineListStatus::InvalidName},
        {"Two\nLines", MachineListStatus::InvalidName},
    };
    for (const auto &[name, status] : cases) {
        const MachineListResult result = add_machine(path, name);
        EXPECT_EQ(result.status, status) << name;
        EXPECT_FALSE(result.error.isEmpty()) << name;
    }
    EXPECT_EQ(read_file(path), before);
    EXPECT_TRUE(add_machine(path, "mill2", "Mill2").error.contains("Mill2"));
}

TEST_F(MachineListTest, RenameChangesOnlyTheHeader)
{
    const QByteArray before = read_file(path);
    ASSERT_TRUE(rename_machine(path, "Lathe1", "Lathe 1").ok());
    QByteArray expected = before;
    expected.replace("[Lathe1]", "[Lathe 1]");
    EXPECT_EQ(read_file(path), expected);
    EXPECT_EQ(machines(), QStringList({"Lathe 1", "Mill2", "Router"}));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("temp.ini")));

    // A change of letter case only is a rename too.
    ASSERT_TRUE(rename_machine(path, "Router", "ROUTER").ok());
    EXPECT_EQ(machines(), QStringList({"Lathe 1", "Mill2", "ROUTER"}));
}

TEST_F(MachineListTest, RenameRefusesTakenNamesAndUnknownMachines)
{
    const QByteArray before = read_file(path);
    struct Case {
        const char *old_name;
        const char *new_name;
        MachineListStatus status;
    };
    const Case cases[] = {
        {"Lathe1", "MILL2", MachineListStatus::NameTaken},
        {"Lathe1", "Dirs", MachineListStatus::InvalidName},
        {"Lathe1", "", MachineListStatus::EmptyName},
        {"lathe1", "Lathe9", MachineListStatus::UnknownMachine},
        {"Dirs", "Shortcuts", MachineListStatus::UnknownMachine},
        {"Nowhere", "Lathe9", MachineListStatus::UnknownMachine},
    };
    for (const Case &c : cases)
        EXPECT_EQ(rename_machine(path, c.old_name, c.new_name).status, c.status) << c.old_name;
    EXPECT_EQ(read_file(path), before);
}

TEST_F(MachineListTest, DeleteErasesTheSection)
{
    ASSERT_TRUE(delete_machine(path, "mill2").ok());
    const IniFile ini(path);
    EXPECT_EQ(reload_machine_list(ini), QStringList({"Lathe1", "Router"}));
    EXPECT_FALSE(ini.has_key("Mill2", "CommPort"));
    EXPECT_EQ(ini.read_string("Dirs", "Dir1"), "Programs,/nc");

    EXPECT_EQ(delete_machine(path, "Dirs").status, MachineListStatus::InvalidName);
    EXPECT_TRUE(delete_machine(path, "Nowhere").ok());

    ASSERT_TRUE(delete_machine(path, "Lathe1").ok());
    ASSERT_TRUE(delete_machine(path, "Router").ok());
    EXPECT_EQ(machines(), QStringList({"Default"}));
}

TEST_F(MachineListTest, ReorderRewritesTheFileInTheNewOrder)
{
    write_file(path, "; machines of bay 2\n"
                     "[Lathe1]\nCommPort=1\n\n"
                     "[Dirs]\nDir1=Programs,/nc\n"
                     "[Mill2]\nCommPort=2\nCommPort=7\n; old port\n"
                     "[DUREravur]\nMultiServer=1\n"
                     "[Router]\n"
                     "[Spare]\nCommPort=5\n"
                     "[lathe1]\nCommPort=4\n");
    ASSERT_TRUE(reorder_machines(path, {"Router", "Mill2", "Lathe1"}).ok());
    EXPECT_EQ(read_file(path), QByteArray("[DUREravur]\nMultiServer=1\n\n"
                                          "[Dirs]\nDir1=Programs,/nc\n\n"
                                          "[Router]\n\n"
                                          "[Mill2]\nCommPort=2\n\n"
                                          "[Lathe1]\nCommPort=1\n\n"
                                          "[Spare]\nCommPort=5\n"));
    EXPECT_EQ(machines(), QStringList({"Router", "Mill2", "Lathe1", "Spare"}));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("temp.ini")));
}

TEST_F(MachineListTest, DefaultMachineIsWrittenOnlyWhenThereIsNone)
{
    QString error;
    const QByteArray before = read_file(path);
    ASSERT_TRUE(ensure_default_machine(path, &error));
    EXPECT_EQ(read_file(path), before);

    const QString fresh = dnc_ini_path(dir.filePath("fresh"));
    ASSERT_TRUE(QDir().mkdir(dir.filePath("fresh")));
    ASSERT_TRUE(ensure_default_machine(fresh, &error)) << error.toStdString();
    EXPECT_EQ(read_file(fresh), QByteArray("[Default]\nDefaultDir=/\n"));

    write_file(fresh, "[DUREravur]\nRemote=1\n");
    ASSERT_TRUE(ensure_default_machine(fresh, &error));
    EXPECT_EQ(read_file(fresh), QByteArray("[DUREravur]\nRemote=1\n\n[Default]\nDefaultDir=/\n"));

    EXPECT_FALSE(ensure_default_machine(dir.filePath("no/such/folder/DNC.ini"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(MachineListTest, AFailedWriteReportsTheReason)
{
    const MachineListResult result = add_machine(dir.filePath("no/such/folder/DNC.ini"), "Mill9");
    EXPECT_EQ(result.status, MachineListStatus::WriteFailed);
    EXPECT_TRUE(result.error.contains("No such file or directory")) << result.error.toStdString();
}

} // namespace
} // namespace dnc
