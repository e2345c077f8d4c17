#include "nc/file_check.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

class FileCheck : public ::testing::Test
{
protected:
    QString write(const char *name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    QTemporaryDir dir;
};

TEST_F(FileCheck, VerdictsOverFilesOnDisk)
{
    const QStringList editor = {"%", "O1000", "G01 X1.5", "%"};
    struct FileCase {
        const char *what;
        QByteArray bytes;
        FileCheckVerdict verdict;
    };
    const FileCase cases[] = {
        {"same", "%\r\nO1000\r\nG01 X1.5\r\n%\r\n", FileCheckVerdict::Same},
        {"no line break after the last line", "%\r\nO1000\r\nG01 X1.5\r\n%",
         FileCheckVerdict::Different},
        {"one character changed, same size", "%\r\nO1000\r\nG01 X1.6\r\n%\r\n",
         FileCheckVerdict::Different},
        {"letter case", "%\r\no1000\r\nG01 X1.5\r\n%\r\n", FileCheckVerdict::Different},
        {"line breaks moved, same size", "%\r\nO1000\r\nG01\r\n X1.5%\r\n",
         FileCheckVerdict::Different},
        {"more lines than the editor, same size", "%\nO1000\nG01 X1.5\n%\nXYZ\n",
         FileCheckVerdict::Different},
    };
    for (const FileCase &c : cases) {
        const QString path = write("prog.nc", c.bytes);
        EXPECT_EQ(check_file_verdict(editor, path), c.verdict) << c.what;
    }
}

TEST_F(FileCheck, EncodingAndLineEnds)
{
    // Bytes are characters (Latin-1): a UTF-8 file of the same text differs.
    const QStringList accented = {QStringLiteral("(R\u00C9GLAGE)")};
    EXPECT_EQ(check_file_verdict(accented, write("utf8.nc", "(R\xC3\x89GLAGE)\r\n")),
              FileCheckVerdict::Different);
    EXPECT_EQ(check_file_verdict(accented, write("latin1.nc", "(R\xC9GLAGE)\r\n")),
              FileCheckVerdict::Same);
    // A CR alone ends a file line too.
    EXPECT_EQ(check_file_verdict(QStringList{"AB\rC"}, QByteArray("AB\rC\r\n")),
              FileCheckVerdict::Different);
    EXPECT_EQ(check_file_verdict(QStringList{"ABC", ""}, QByteArray("ABC\r\n\r\n")),
              FileCheckVerdict::Same);
    // An editor holding one empty line is not empty.
    EXPECT_EQ(check_file_verdict(QStringList{""}, QByteArray("\r\n")), FileCheckVerdict::Same);
}

TEST_F(FileCheck, NothingToCompare)
{
    EXPECT_EQ(check_file_verdict(QStringList(), write("any.nc", "X\r\n")),
              FileCheckVerdict::NoText);
    QString error;
    EXPECT_EQ(check_file_verdict(QStringList{"X"}, dir.filePath("missing.nc"), &error),
              FileCheckVerdict::Unreadable);
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
} // namespace dnc
