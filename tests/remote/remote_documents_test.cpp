// The exact texts of the web remote's documents.
#include "remote/remote_documents.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

TEST(RemoteDocuments, FileTimesUseTheTwelveHourDialWithNoonAsAM)
{
    const struct {
        int year, month, day, hour, minute;
        const char *text;
    } cases[] = {
        {2024, 3, 7, 0, 0, "3/7/24;12:00AM"},   {2024, 3, 7, 0, 59, "3/7/24;12:59AM"},
        {2024, 3, 7, 1, 5, "3/7/24;1:05AM"},    {2024, 12, 31, 11, 30, "12/31/24;11:30AM"},
        {2024, 3, 7, 12, 5, "3/7/24;12:05AM"},  {2024, 3, 7, 13, 0, "3/7/24;1:00PM"},
        {2024, 3, 7, 23, 59, "3/7/24;11:59PM"}, {2005, 1, 2, 9, 9, "1/2/5;9:09AM"},
    };
    for (const auto &c : cases) {
        const QDateTime t(QDate(c.year, c.month, c.day), QTime(c.hour, c.minute));
        EXPECT_EQ(remote_file_time(t), QString::fromUtf8(c.text)) << c.text;
    }
}

TEST(RemoteDocuments, KeyValueDocuments)
{
    RemoteMachineView m;
    m.status_text = QStringLiteral("COM3 Ready");
    m.default_extension = QStringLiteral(".nc");
    m.nc_filename = QStringLiteral("/cnc/O1.nc");
    EXPECT_EQ(status_document(m, "*.nc", "Connected", "O1"),
              "[DUREravur]\r\nDefaultExt=.nc\r\nMask=*.nc\r\nMode=0\r\nStatus=Connected\r\n"
              "Version=2\r\nCurrentFilename=O1\r\n");
    EXPECT_EQ(notify_document(m), "[DUREravur]\r\nMode=0\r\nStatus=COM3 Ready");
    EXPECT_EQ(busy_reply(m), "Status: Sending in progress<br>File:/cnc/O1.nc</td>");
    EXPECT_EQ(machine_document({"Mill", "Lathe"}, "Lathe"),
              "MachineCount=2\r\nMachine0=Mill\r\nMachine1=Lathe\r\nCurrentMachine=Lathe\r\n");

    // Mode: auto-serve first, then binary.
    m.file_type = 1;
    EXPECT_TRUE(status_document(m, "*", "", "").contains("\r\nMode=2\r\n"));
    m.auto_serve = true;
    EXPECT_TRUE(status_document(m, "*", "", "").contains("\r\nMode=1\r\n"));
    EXPECT_EQ(notify_document(m), "[DUREravur]\r\nMode=1\r\nStatus=COM3 Ready");
}

TEST(RemoteDocuments, FolderDocumentOfRootsAndOfAFolder)
{
    EXPECT_EQ(folder_document("\\", "*", {"/", "/media/usb/"}),
              "Path=\\\r\nFolder0=/\r\nFolder1=/media/usb/\r\nFolderCount=2\r\n");
    // Before any folder was chosen nothing is listed.
    EXPECT_EQ(folder_document("", "*", {"/"}), "Path=\r\nFolderCount=0\r\n");
    EXPECT_EQ(file_document("", "*"), "FileCount=0\r\n");

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub.d"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("other"));
    const QString folder = dir.path() + '/';
    // A mask with a "." filters files, not folders.
    EXPECT_EQ(folder_document(folder, "*.nc", {}),
              "Path=" + folder + "\r\nFolder0=other\r\nFolder1=sub.d\r\nFolderCount=2\r\n");
    EXPECT_EQ(folder_document(folder, "s*", {}),
              "Path=" + folder + "\r\nFolder0=sub.d\r\nFolderCount=1\r\n");
}

TEST(RemoteDocuments, ViewedTextEndsEveryLineWithCrLf)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("mixed.nc");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("%\nO1\r\nG0\rM30");
    f.close();
    EXPECT_EQ(view_document(path, "Idle"),
              "Status:Idle<br>\r\n" + path + "\r\n%\r\nO1\r\nG0\r\nM30\r\n");
    EXPECT_EQ(view_document(dir.filePath("none.nc"), "Idle"), "File not found");
}

} // namespace
} // namespace dnc
