#include "config/ini_file.h"
#include "config_test_files.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <sys/stat.h>
#include <thread>

namespace dnc
{
namespace
{

using test::read_file;
using test::write_file;

// ---- reading ----

struct ReadCase {
    const char *label;
    QByteArray bytes;
    const char *section;
    const char *key;
    std::optional<QString> expected; // nullopt: the key reads as missing
};

TEST(IniFileRead, ToleratesBadInputAndFindsTheFirstValue)
{
    const QByteArray long_value(1 << 20, 'x');
    const ReadCase cases[] = {
        {"empty file", "", "M", "K", std::nullopt},
        {"binary garbage", QByteArray("\x00\xff\xfe[\x00]=\x80\n\xc3", 11), "M", "K", std::nullopt},
        {"line without =", "[M]\nno equals here\nK=1\n", "M", "no equals here", std::nullopt},
        {"line without = skipped", "[M]\nno equals here\nK=1\n", "M", "K", QString("1")},
        {"key before any section", "K=0\n[M]\n", "M", "K", std::nullopt},
        {"duplicate key", "[M]\nK=1\nK=2\n", "M", "K", QString("1")},
        {"duplicate section", "[M]\nK=1\n[m]\nK=2\nJ=3\n", "M", "K", QString("1")},
        {"key only in repeated section", "[M]\nK=1\n[m]\nJ=3\n", "M", "J", std::nullopt},
        {"names in any letter case", "[mAcHiNe]\nkEy=v\n", "MACHINE", "KEY", QString("v")},
        {"accented names in any letter case", "[Fr\xc3\xa4se]\nZ\xc3\xa4hler=2\n", "FR\xc3\x84SE",
         "Z\xc3\x84HLER", QString("2")},
        {"blanks around names and values", "  [ M ]  \n\t K  =  v w \t\n", "M", "K",
         QString("v w")},
        {"empty value", "[M]\nK=\n", "M", "K", QString("")},
        {"CR LF line breaks", "[M]\r\nK=v\r\n", "M", "K", QString("v")},
        {"comment lines", "[M]\n;K=1\n#K=2\nK=3\n", "M", "K", QString("3")},
        {"= inside the value", "[M]\nK=a=b\n", "M", "K", QString("a=b")},
        {"header without ]", "[M\nK=1\n", "M", "K", QString("1")},
        {"text after the header", "[M] old\nK=1\n", "M", "K", QString("1")},
        {"UTF-8",
         "[M]\nK=\xc3\xbc"
         "ber\n",
         "M", "K",
         QString::fromUtf8("\xc3\xbc"
                           "ber")},
        {"Latin-1 from Windows",
         "[M]\nK=\xfc"
         "ber\n",
         "M", "K",
         QString::fromUtf8("\xc3\xbc"
                           "ber")},
        {"UTF-8 and Latin-1 mixed", "[M]\nK=\xc3\xbc\xfc\n", "M", "K",
         QString::fromUtf8("\xc3\xbc\xc3\xbc")},
        {"overlong UTF-8 taken as Latin-1", "[M]\nK=\xc0\xaf\n", "M", "K",
         QString::fromUtf8("\xc3\x80\xc2\xaf")},
        {"truncated UTF-8 at the end", "[M]\nK=\xe2\x82", "M", "K",
         QString::fromUtf8("\xc3\xa2\xc2\x82")},
        {"byte-order mark", "\xef\xbb\xbf[M]\nK=1\n", "M", "K", QString("1")},
        {"NUL inside a value", QByteArray("[M]\nK=a\0b\n", 10), "M", "K",
         QString("a") + QChar(0) + "b"},
        {"1 MB line", "[M]\nK=" + long_value + "\n", "M", "K", QString::fromLatin1(long_value)},
    };
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(c.label);
        const IniFile ini = IniFile::from_bytes(c.bytes);
        const QString fallback = QStringLiteral("<missing>");
        EXPECT_EQ(ini.read_string(c.section, c.key, fallback), c.expected.value_or(fallback));
        EXPECT_EQ(ini.has_key(c.section, c.key), c.expected.has_value());
    }
}

TEST(IniFileRead, ListsSectionsAndKeysInFileOrderEachOnce)
{
    const IniFile ini = IniFile::from_bytes("Lost=1\n[B]\nz=1\na=2\nZ=3\n[A]\n[]\nx=1\n[b]\ny=1\n");
    EXPECT_EQ(ini.section_names(), QStringList({"B", "A"}));
    EXPECT_EQ(ini.keys("b"), QStringList({"z", "a"}));
    EXPECT_TRUE(ini.keys("A").isEmpty());
    EXPECT_TRUE(ini.has_section("a"));
    EXPECT_FALSE(ini.has_section("Lost"));
}

TEST(IniFileRead, NumbersAndSwitches)
{
    struct Case {
        const char *value;
        int as_int;   // fallback 7
        bool as_bool; // fallback true
    };
    const Case cases[] = {
        {"12", 12, true},         {"-3", -3, true},   {"0", 0, false},
        {"1", 1, true},           {"+4", 4, true},    {"", 7, true},
        {"abc", 7, true},         {"12abc", 7, true}, {"1.5", 7, true},
        {"99999999999", 7, true}, {"0x10", 7, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        const IniFile ini = IniFile::from_bytes(QByteArray("[M]\nK=") + c.value + "\n");
        EXPECT_EQ(ini.read_int("M", "K", 7), c.as_int);
        EXPECT_EQ(ini.read_bool("M", "K", true), c.as_bool);
    }
    const IniFile empty;
    EXPECT_EQ(empty.read_int("M", "K", 5), 5);
    EXPECT_FALSE(empty.read_bool("M", "K", false));
}

TEST(IniFileRead, MissingOrUnreadableFileReadsAsEmpty)
{
    QTemporaryDir dir;
    const IniFile missing(dir.filePath("DNC.ini"));
    EXPECT_FALSE(missing.file_exists());
    EXPECT_TRUE(missing.read_error().isEmpty());
    EXPECT_TRUE(missing.section_names().isEmpty());

    // A folder where the file should be cannot be read.
    ASSERT_TRUE(QDir(dir.path()).mkdir("DNC.ini"));
    const IniFile folder(dir.filePath("DNC.ini"));
    EXPECT_TRUE(folder.file_exists());
    EXPECT_FALSE(folder.read_error().isEmpty());
    EXPECT_TRUE(folder.section_names().isEmpty());
}

// ---- writing in memory ----

TEST(IniFileWrite, KeepsEveryUntouchedLineAsItWas)
{
    const QByteArray text = "; written by hand\r\nStray=1\r\n[DUREravur]\r\nVersion = 0.9\r\n"
                            "\r\n[Mill]\r\n  PunchType=3  \r\nnot a key\r\n[Mill]\r\nX=1\r\n";
    IniFile ini = IniFile::from_bytes(text);
    EXPECT_EQ(ini.to_bytes(), text);

    ini.write_string("mill", "punchtype", "1");
    EXPECT_EQ(ini.to_bytes(),
              QByteArray("; written by hand\r\nStray=1\r\n[DUREravur]\r\nVersion = 0.9\r\n"
                         "\r\n[Mill]\r\npunchtype=1\r\nnot a key\r\n[Mill]\r\nX=1\r\n"));
}

TEST(IniFileWrite, AppendsNewKeysAndSections)
{
    IniFile ini = IniFile::from_bytes("[A]\nx=1\n\n[B]\ny=2\n");
    ini.write_string("A", "new", "v");
    ini.write_int("C", "n", 42);
    ini.write_bool("C", "on", true);
    ini.write_bool("C", "off", false);
    EXPECT_EQ(ini.to_bytes(),
              QByteArray("[A]\nx=1\nnew=v\n\n[B]\ny=2\n\n[C]\nn=42\non=1\noff=0\n"));
    EXPECT_EQ(ini.read_string("a", "NEW"), "v");
    EXPECT_EQ(ini.read_int("C", "n", 0), 42);

    IniFile fresh;
    fresh.write_string("S", "k", "v");
    EXPECT_EQ(fresh.to_bytes(), QByteArray("[S]\nk=v\n"));
}

TEST(IniFileWrite, LineBreaksInValuesCannotAddLines)
{
    IniFile ini;
    ini.write_string("S", "k", "one\r\n[Evil]\nx=1");
    const IniFile again = IniFile::from_bytes(ini.to_bytes());
    EXPECT_EQ(again.section_names(), QStringList({"S"}));
    EXPECT_EQ(again.read_string("S", "k"), "one  [Evil] x=1");
}

TEST(IniFileWrite, WritesUtf8WhateverWasRead)
{
    IniFile ini = IniFile::from_bytes("[M]\nK=\xfc\n");
    ini.write_string("M", "J", QString::fromUtf8("\xc3\xa9"));
    EXPECT_EQ(ini.to_bytes(), QByteArray("[M]\nK=\xc3\xbc\nJ=\xc3\xa9\n"));
}

TEST(IniFileWrite, EraseAndRenameSections)
{
    IniFile ini = IniFile::from_bytes("[A]\nx=1\n[B]\ny=1\n[a]\nz=1\n");
    ini.erase_section("a");
    EXPECT_EQ(ini.to_bytes(), QByteArray("[B]\ny=1\n"));

    IniFile named = IniFile::from_bytes("[Lathe1]\nx=1\n[LATHE1]\ny=1\n[Mill]\n");
    EXPECT_FALSE(named.rename_section("lathe1", "Lathe 2"));
    EXPECT_TRUE(named.rename_section("Lathe1", "Lathe 2"));
    EXPECT_EQ(named.to_bytes(), QByteArray("[Lathe 2]\nx=1\n[LATHE1]\ny=1\n[Mill]\n"));
    EXPECT_EQ(named.read_string("lathe 2", "x"), "1");
}

// ---- writing files ----

TEST(IniFileUpdate, ReplacesTheFileAndLeavesNoScratchFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DNC.ini");
    write_file(path, "[Mill]\nPunchType=3\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);

    QString error;
    ASSERT_TRUE(IniFile::update(
        path,
        [](IniFile &ini) {
            ini.write_int("Mill", "PunchType", 1);
            return true;
        },
        &error))
        << error.toStdString();
    EXPECT_EQ(read_file(path), QByteArray("[Mill]\nPunchType=1\n"));
    struct stat state {
    };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &state), 0);
    EXPECT_EQ(state.st_mode & 0777, 0640u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"DNC.ini", "DNC.ini.lock"}));

    // An edit that gives up leaves the file as it was.
    EXPECT_FALSE(IniFile::update(
        path,
        [](IniFile &ini) {
            ini.clear();
            return false;
        },
        &error));
    EXPECT_EQ(read_file(path), QByteArray("[Mill]\nPunchType=1\n"));

    // A missing file is created.
    const QString fresh = dir.filePath("new.ini");
    ASSERT_TRUE(IniFile::update(
        fresh,
        [](IniFile &ini) {
            ini.write_string("S", "k", "v");
            return true;
        },
        &error));
    EXPECT_EQ(read_file(fresh), QByteArray("[S]\nk=v\n"));
}

TEST(IniFileUpdate, WritesThroughASymbolicLink)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    const QString real = dir.filePath("real/DNC.ini");
    const QString link = dir.filePath("DNC.ini");
    write_file(real, "[M]\nK=1\n");
    ASSERT_TRUE(QFile::link(real, link));
    QString error;
    ASSERT_TRUE(IniFile::update(
        link,
        [](IniFile &ini) {
            ini.write_int("M", "K", 2);
            return true;
        },
        &error));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(read_file(real), QByteArray("[M]\nK=2\n"));
}

TEST(IniFileUpdate, TheNamedScratchFileIsUsedAndRemoved)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DNC.ini");
    write_file(path, "[M]\nK=1\n");
    write_file(dir.filePath("temp.ini"), "left over from a power cut");
    QString error;
    ASSERT_TRUE(IniFile::update(
        path,
        [](IniFile &ini) {
            ini.write_int("M", "K", 2);
            return true;
        },
        &error, "temp.ini"));
    EXPECT_EQ(read_file(path), QByteArray("[M]\nK=2\n"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("temp.ini")));
}

// Runs the writer helper's probe (as the user "nobody" when the tests run as
// root, since root may write anywhere) against DNC.ini in a folder and file
// with the given permissions.
TEST(IniFileUpdate, RefusesWhatMayNotBeWrittenAndKeepsTheOldContent)
{
    struct Case {
        const char *label;
        QFile::Permissions folder;
        QFile::Permissions file;
        const char *reason;
    };
    const QFile::Permissions all_read =
        QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions all_enter =
        QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
    const QFile::Permissions all_write =
        QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
    const Case cases[] = {
        {"folder without write permission", all_read | all_enter, all_read | QFile::WriteOwner,
         "Permission denied"},
        {"read-only DNC.ini in a writable folder", all_read | all_enter | all_write, all_read,
         "Permission denied"},
        {"DNC.ini that cannot be read", all_read | all_enter | all_write, all_write, "Cannot read"},
    };
    const QByteArray content = "[DUREravur]\nVersion=1.0\n[Mill]\nPunchType=3\n";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        QTemporaryDir parent;
        const QString folder = parent.filePath("data");
        ASSERT_TRUE(QDir().mkdir(folder));
        const QString path = folder + "/DNC.ini";
        write_file(path, content);
        ASSERT_TRUE(QFile::setPermissions(parent.path(), all_read | all_enter | QFile::WriteOwner));
        ASSERT_TRUE(QFile::setPermissions(path, c.file));
        ASSERT_TRUE(QFile::setPermissions(folder, c.folder));

        QProcess probe;
        probe.start(DNC_INI_WRITER, {"probe", path});
        ASSERT_TRUE(probe.waitForFinished(30000));
        const QString output = QString::fromLocal8Bit(probe.readAllStandardOutput());
        EXPECT_EQ(probe.exitCode(), 3) << output.toStdString();
        EXPECT_TRUE(output.contains(c.reason)) << output.toStdString();
        EXPECT_TRUE(output.contains(path)) << output.toStdString();

        ASSERT_TRUE(QFile::setPermissions(folder, all_read | all_enter | QFile::WriteOwner));
        ASSERT_TRUE(QFile::setPermissions(path, all_read | QFile::WriteOwner));
        EXPECT_EQ(read_file(path), content);
        EXPECT_FALSE(QFileInfo::exists(path + ".tmp"));
    }
}

// ---- concurrent writers ----

// False when a section that write_round() writes is torn or mixed.
bool file_is_whole(const QString &path, const QStringList &sections)
{
    const IniFile ini = IniFile::from_bytes(read_file(path));
    bool consistent = true;
    for (const QString &section : sections)
        test::read_round(ini, section, &consistent);
    return consistent;
}

TEST(IniFileConcurrency, ThreadsNeverMixTheFileNorLoseAWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DNC.ini");
    constexpr int kRounds = 60;
    const QStringList sections = {"Writer0", "Writer1", "Writer2"};
    std::atomic<bool> failed{false};
    std::atomic<int> running{int(sections.size())};
    std::vector<std::thread> writers;
    for (const QString &section : sections) {
        writers.emplace_back([&, section] {
            for (int round = 0; round < kRounds; ++round) {
                QString error;
                if (!IniFile::update(
                        path,
                        [&](IniFile &ini) {
                            test::write_round(ini, section, round);
                            return true;
                        },
                        &error))
                    failed = true;
            }
            --running;
        });
    }
    bool torn = false;
    while (running > 0)
        torn = torn || !file_is_whole(path, sections);
    for (std::thread &writer : writers)
        writer.join();
    EXPECT_FALSE(failed);
    EXPECT_FALSE(torn);

    const IniFile ini(path);
    for (const QString &section : sections) {
        bool consistent = true;
        EXPECT_EQ(test::read_round(ini, section, &consistent), kRounds - 1)
            << section.toStdString();
        EXPECT_TRUE(consistent);
    }
}

TEST(IniFileConcurrency, ProcessesNeverMixTheFileNorLoseAWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DNC.ini");
    constexpr int kRounds = 100;
    const QStringList sections = {"ProcessA", "ProcessB"};
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const QString &section : sections) {
        writers.push_back(std::make_unique<QProcess>());
        writers.back()->start(DNC_INI_WRITER, {"hammer", path, section, QString::number(kRounds)});
        ASSERT_TRUE(writers.back()->waitForStarted());
    }
    auto running = [&] {
        bool any = false;
        for (const auto &writer : writers) {
            if (!writer->waitForFinished(1) && writer->state() != QProcess::NotRunning)
                any = true;
        }
        return any;
    };
    bool torn = false;
    while (running())
        torn = torn || !file_is_whole(path, sections);
    EXPECT_FALSE(torn);
    for (const auto &writer : writers) {
        ASSERT_EQ(writer->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardOutput().toStdString();
    }
    const IniFile ini(path);
    for (const QString &section : sections) {
        bool consistent = true;
        EXPECT_EQ(test::read_round(ini, section, &consistent), kRounds - 1)
            << section.toStdString();
        EXPECT_TRUE(consistent);
    }
}

} // namespace
} // namespace dnc
