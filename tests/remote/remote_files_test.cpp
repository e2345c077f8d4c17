// Paths, name patterns, the roots list and reading files for the web remote.
#include "remote/remote_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace dnc
{
namespace
{

TEST(RemoteFiles, PathsSentByTheAppBecomeLocalPaths)
{
    const struct {
        const char *sent;
        const char *local;
    } cases[] = {
        {"C:\\", "/"},
        {"c:", "/"},
        {"D:\\NC\\O1000.NC", "/NC/O1000.NC"},
        {"\\", "/"},
        {"/home/cnc/prog.nc", "/home/cnc/prog.nc"},
        {"sub\\O1.nc", "sub/O1.nc"},
        {"O1000", "O1000"},
        {"1:\\x", "1:/x"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(remote_local_path(QString::fromUtf8(c.sent)), QString::fromUtf8(c.local))
            << c.sent;
}

TEST(RemoteFiles, FileNameCompletion)
{
    const struct {
        const char *name, *ext, *save, *list, *expected;
    } cases[] = {
        // name, default extension, save folder, file-list folder
        {"O1000", ".nc", "/cnc/save/", "/list/", "/cnc/save/O1000.nc"},
        {"O1000", ".nc", "/cnc/save", "/list/", "/cnc/save/O1000.nc"},
        {"O1000.TXT", ".nc", "/cnc/save/", "/list/", "/cnc/save/O1000.TXT"},
        {"O1000", ".*", "/cnc/save/", "/list/", "/cnc/save/O1000"},
        {"O1000", "", "", "/list/", "/list/O1000"},
        {"/abs/O1000", ".nc", "/cnc/save/", "/list/", "/abs/O1000.nc"},
        {"dir.d/O1000", ".nc", "/s/", "/l/", "/s/dir.d/O1000.nc"},
        {"O1000", ".nc", "", "", "O1000.nc"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(resolve_remote_filename(QString::fromUtf8(c.name), QString::fromUtf8(c.ext),
                                          QString::fromUtf8(c.save), QString::fromUtf8(c.list)),
                  QString::fromUtf8(c.expected))
            << c.name << " " << c.ext;
    }
}

TEST(RemoteFiles, WildcardMatching)
{
    const struct {
        const char *pattern, *name;
        bool match;
    } cases[] = {
        {"*", "O1000.NC", true},
        {"*.nc", "O1000.NC", true},
        {"*.nc", "O1000.nc.bak", false},
        {"*.*", "README", true},
        {"O?000*", "o1000.nc", true},
        {"O?000*", "O000.nc", false},
        {"", "a", false},
        {"", "", true},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {"[ab]*", "a1", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(wildcard_match(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)), c.match)
            << c.pattern << " ~ " << c.name;
}

TEST(RemoteFiles, RootsAreSlashAndTheVolumesUnderMediaAndMnt)
{
    const QByteArray mounts = "sysfs /sys sysfs rw 0 0\n"
                              "/dev/sda1 / ext4 rw 0 0\n"
                              "/dev/sdb1 /media/cnc/USB\\040STICK vfat rw 0 0\n"
                              "/dev/sdc1 /mnt/share cifs rw 0 0\n"
                              "/dev/sdd1 /run/media/op/DATA ext4 rw 0 0\n"
                              "/dev/sde1 /mediax ext4 rw 0 0\n"
                              "/dev/sdc1 /mnt/share cifs rw 0 0\n"
                              "garbage\n\n";
    EXPECT_EQ(file_system_roots_from_mounts(mounts),
              (QStringList{"/", "/media/cnc/USB STICK/", "/mnt/share/", "/run/media/op/DATA/"}));
    EXPECT_EQ(file_system_roots_from_mounts(QByteArray()), QStringList{"/"});
    EXPECT_TRUE(file_system_roots().startsWith("/"));
}

TEST(RemoteFiles, ListingsAreSortedFilteredAndLimited)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir d(dir.path());
    for (const char *name : {"b.nc", "A.NC", "c.txt", ".hidden.nc"}) {
        QFile f(d.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    for (const char *name : {"Zeta", "alpha", ".git"})
        ASSERT_TRUE(d.mkdir(name));
    ASSERT_EQ(::mkfifo(QFile::encodeName(d.filePath("pipe.nc")).constData(), 0600), 0);

    QStringList files;
    for (const ListedFile &f : list_files(dir.path(), "*.nc", 151))
        files << f.name;
    EXPECT_EQ(files, (QStringList{"A.NC", "b.nc"}));
    EXPECT_EQ(list_files(dir.path(), "*", 1).size(), 1);
    EXPECT_EQ(list_subfolders(dir.path(), "*", 151), (QStringList{"alpha", "Zeta"}));
    EXPECT_TRUE(list_files(dir.path() + QChar(0) + "x", "*", 151).isEmpty());
    EXPECT_TRUE(list_files(dir.path() + "/missing", "*", 151).isEmpty());
}

TEST(RemoteFiles, ReadingAFileForViewing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("p.nc");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("0123456789");
    f.close();

    ViewedFile whole = read_file_head(path, 10);
    EXPECT_TRUE(whole.ok);
    EXPECT_FALSE(whole.truncated);
    EXPECT_EQ(whole.bytes, "0123456789");
    ViewedFile head = read_file_head(path, 9);
    EXPECT_TRUE(head.truncated);
    EXPECT_EQ(head.bytes, "012345678");

    // Neither a FIFO (a read would wait for a writer forever), nor a device,
    // a folder, a missing file or a name with a NUL in it is read.
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &p : {fifo, QStringLiteral("/dev/zero"), dir.path(), dir.filePath("gone"),
                             path + QChar(0) + "x", QStringLiteral("p.nc"), QString()})
        EXPECT_FALSE(read_file_head(p, 100).ok) << p.toStdString();
}

TEST(RemoteFiles, TextFromBytes)
{
    EXPECT_EQ(text_from_bytes("G01 X1\xC3\xA9"), QString::fromUtf8("G01 X1\xC3\xA9"));
    // Not UTF-8: one character per byte.
    EXPECT_EQ(text_from_bytes("N1 \xE9"), QString::fromLatin1("N1 \xE9"));
    // A head cut inside a character loses that character only.
    EXPECT_EQ(text_from_bytes("ab\xE2\x82", true), QStringLiteral("ab"));
    EXPECT_EQ(text_from_bytes("ab\xE2\x82", false), QString::fromLatin1("ab\xE2\x82"));
}

} // namespace
} // namespace dnc
