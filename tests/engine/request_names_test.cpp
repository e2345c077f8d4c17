// File names from request lines, the request check, the not-found reply,
// backup numbering, the saved-files log and program files: pure functions,
// as tables.
#include "engine/auto_save.h"
#include "engine/program_file.h"
#include "engine/requests.h"
#include "engine/saved_files_log.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

// The machine settings the name rules read, as loaded from DNC.ini.
struct Names {
    QString extension = QStringLiteral(".NC");
    QString read_folder = QStringLiteral("/nc/read/");
    QString save_folder = QStringLiteral("/nc/save/");
    QString end_comment = QStringLiteral(")");
    QString auto_save = QStringLiteral("(A*");
};

void apply(const Names &names, MachineSettingsRecord &r)
{
    r.DefaultExtension = names.extension;
    r.DefaultReadDirectory = names.read_folder;
    r.DefaultSaveDirectory = names.save_folder;
    r.EndCommentChar = names.end_comment;
    r.AutoSaveCommand = names.auto_save;
    r.GetCommand = QStringLiteral("(G*");
    r.SaveCommand = QStringLiteral("(S*");
    r.LogCommand = QStringLiteral("(L*");
    r.ResetCommand = QStringLiteral("(X*");
}

const QString kFileList = QStringLiteral("/list/");

TEST(RequestNames, FileNameFromARequestLine)
{
    struct Case {
        const char *what;
        Names names;
        RequestKind kind;
        QString line;
        QString marker;
        QString expected;
    };
    const Names plain;
    Names star_ext;
    star_ext.extension = QStringLiteral(".*");
    Names no_folders;
    no_folders.read_folder.clear();
    no_folders.save_folder.clear();
    Names bracket_end;
    bracket_end.end_comment = QStringLiteral("]");
    Names no_end;
    no_end.end_comment.clear();
    const Case cases[] = {
        {"get: read folder and extension", plain, RequestKind::Get, "(G*O1000)", "(G*",
         "/nc/read/O1000.NC"},
        {"save: save folder", plain, RequestKind::Save, "(S*PART7)", "(S*", "/nc/save/PART7.NC"},
        {"blanks trimmed, text before the marker ignored", plain, RequestKind::Get,
         "N10 (G*  O1000  ) G1", "(G*", "/nc/read/O1000.NC"},
        {"an extension of its own is kept", plain, RequestKind::Get, "(G*O1000.TAP)", "(G*",
         "/nc/read/O1000.TAP"},
        {"a folder with / is used as given", plain, RequestKind::Get, "(G*/progs/O5.NC)", "(G*",
         "/progs/O5.NC"},
        {"a folder with \\ is turned into /", plain, RequestKind::Get, "(G*\\progs\\O5)", "(G*",
         "/progs/O5.NC"},
        {"a drive letter stays as given", plain, RequestKind::Get, "(G*C:/PROGS/O5.NC)", "(G*",
         "C:/PROGS/O5.NC"},
        {"a dotted folder still gets the extension", plain, RequestKind::Get, "(G*/v1.2/O5)", "(G*",
         "/v1.2/O5.NC"},
        {"nothing after the marker gives temp.nc", plain, RequestKind::Save, "(S*)", "(S*",
         "/nc/save/temp.nc"},
        {"an empty line gives temp.nc", plain, RequestKind::Get, "", "(G*", "/nc/read/temp.nc"},
        {"no marker: no name", plain, RequestKind::Get, "(O1000)", "(G*", ""},
        {"an empty marker never matches", plain, RequestKind::Get, "(G*O1000)", "", ""},
        {"\".*\" adds no extension", star_ext, RequestKind::Get, "(G*O1000)", "(G*",
         "/nc/read/O1000"},
        {"empty folders fall back to the file list", no_folders, RequestKind::Get, "(G*O1000)",
         "(G*", "/list/O1000.NC"},
        {"the machine's end-of-comment character cuts the name", bracket_end, RequestKind::Get,
         "(G*O1000] (NOTE)", "(G*", "/nc/read/O1000.NC"},
        {"without one \")\" cuts it", no_end, RequestKind::Get, "(G*O1000) X", "(G*",
         "/nc/read/O1000.NC"},
        {"no end character: the rest of the line", plain, RequestKind::Get, "(G*O1000", "(G*",
         "/nc/read/O1000.NC"},
    };
    for (const Case &c : cases) {
        MachineSettingsRecord r;
        apply(c.names, r);
        EXPECT_EQ(request_file_name(r, c.kind, c.line, c.marker, kFileList), c.expected) << c.what;
    }
}

TEST(RequestNames, AutoSaveName)
{
    struct Case {
        QString marker;
        QString line;
        bool applies;
        QString expected;
    };
    const Case cases[] = {
        {"(A*", "(A*PART1)", true, "/nc/save/PART1.NC"},
        {"(A*", "O1 (A*PART1)", true, "/nc/save/PART1.NC"},
        {":", ":12 (PART)", true, "/nc/save/0012.NC"},
        {":", ":12345", true, "/nc/save/12345.NC"},
        {":", "N1 :12", false, ""},
        {":", ": (NO NUMBER)", true, ""},
        {"O", "O12(PART)", true, "/nc/save/0012.NC"},
        {"O", "O0099", true, "/nc/save/0099.NC"},
        {"O", "G0 (O12)", false, ""},
        {"(A*", "", true, "/nc/save/temp.nc"},
    };
    for (const Case &c : cases) {
        Names names;
        names.auto_save = c.marker;
        MachineSettingsRecord r;
        apply(names, r);
        const std::string what = (c.marker + " " + c.line).toStdString();
        EXPECT_EQ(auto_save_line_applies(r, c.line), c.applies) << what;
        if (c.applies) {
            EXPECT_EQ(auto_save_name(r, c.line, kFileList), c.expected) << what;
        }
    }
}

TEST(RequestNames, RequestCheckOverTheFirstTenLines)
{
    struct Case {
        const char *what;
        QStringList lines;
        int code;
        QString filename;
        bool shown;
    };
    QStringList ten_fillers;
    for (int i = 0; i < 9; ++i)
        ten_fillers.append(QStringLiteral("G1 X%1").arg(i));
    const Case cases[] = {
        {"get", {"%", "(G*O1000)", "%"}, RequestGet, "/nc/read/O1000.NC", false},
        {"save shows its name", {"%", "(S*PART7)", "%"}, RequestSave, "/nc/save/PART7.NC", true},
        {"log: the log file keeps its letter case", {"(L*)"}, RequestGet, "/data/log.nc", false},
        {"reset", {"%", "(X*)"}, RequestReset, "", false},
        {"nothing", {"%", "O1000", "G1", "%"}, RequestNone, "", false},
        {"auto-save", {"%", "(A*P1)", "G1", "%"}, RequestAutoSave, "", false},
        {"a get after an auto-save marker wins",
         {"(A*P1)", "(G*O5)"},
         RequestGet,
         "/nc/read/O5.NC",
         false},
        {"the first request wins", {"(X*)", "(G*O5)"}, RequestReset, "", false},
        {"get before save on one line", {"(G*O5) (S*P6)"}, RequestGet, "/nc/read/O5.NC", false},
        {"line 10 is seen", ten_fillers + QStringList{"(G*O10)"}, RequestGet, "/nc/read/O10.NC",
         false},
        {"line 11 is not", ten_fillers + QStringList{"G1", "(G*O11)"}, RequestNone, "", false},
    };
    for (const Case &c : cases) {
        MachineSettingsRecord r;
        apply(Names{}, r);
        const RequestFound found = find_request(c.lines, r, kFileList, "/data/");
        EXPECT_EQ(found.code, c.code) << c.what;
        EXPECT_EQ(found.filename, c.filename) << c.what;
        EXPECT_EQ(found.show_filename, c.shown) << c.what;
    }
}

TEST(RequestNames, NotFoundReplyAndRemoteNames)
{
    EXPECT_EQ(not_found_program("O0099", "/nc/read/O1000.NC", true),
              QStringList({"%", "O0099", "(O1000.NC)", "(FILE NOT FOUND)", "M30", "%"}));
    EXPECT_EQ(not_found_program("O0123", "/gone/O5.NC", false),
              QStringList({"%", "O0123", "(O5.NC)", "(PATH NOT FOUND)", "M30", "%"}));

    MachineSettingsRecord r;
    apply(Names{}, r);
    EXPECT_EQ(complete_remote_file_name("P1", r), "/nc/save/P1.NC");
    EXPECT_EQ(complete_remote_file_name("/x/P1.TAP", r), "/x/P1.TAP");
    r.DefaultSaveDirectory.clear();
    EXPECT_EQ(complete_remote_file_name("P1", r), "P1.NC");
}

TEST(BackupNames, NextNumberInTheBackupFolder)
{
    struct Case {
        const char *what;
        QString file;
        QStringList existing;
        QString expected;
    };
    const Case cases[] = {
        {"the first copy", "O1000.NC", {}, "O1000-01.NC"},
        {"one above the largest", "O1000.NC", {"O1000-01.NC", "O1000-07.NC"}, "O1000-08.NC"},
        {"letter case ignored", "O1000.NC", {"o1000-03.nc", "O1000-02.Nc"}, "O1000-04.NC"},
        {"other programs and extensions do not count",
         "O1000.NC",
         {"O10000-09.NC", "O1000-05.TAP", "O100-06.NC", "O1000.NC"},
         "O1000-01.NC"},
        {"a number that is not one counts as 0", "O1000.NC", {"O1000-AB.NC"}, "O1000-01.NC"},
        {"past two digits", "O1000.NC", {"O1000-99.NC"}, "O1000-100.NC"},
        {"a name with a dash of its own",
         "PART-A.NC",
         {"PART-A-03.NC", "PART-B-09.NC"},
         "PART-A-04.NC"},
        {"no extension", "PART", {"PART-02"}, "PART-03"},
        {"base to the first dot, extension from the last", "P.V2.NC", {"P-04.NC"}, "P-05.NC"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(backup_file_name(c.file, c.existing), c.expected) << c.what;
}

TEST(SavedFilesLog, NewestFirstAndAtMostMaxLogEntries)
{
    const QStringList empty_log = {"%", "(L* )", "(SAVED FILES LOG)", "%"};
    EXPECT_EQ(new_saved_files_log("(L*"), empty_log);
    EXPECT_EQ(new_saved_files_log(""), QStringList({"%", "()", "(SAVED FILES LOG)", "%"}));

    QStringList log;
    for (int i = 1; i <= 7; ++i)
        log = with_saved_files_log_entry(log, QStringLiteral("(E%1)").arg(i), 6, "(L*");
    EXPECT_EQ(log, QStringList({"%", "(L* )", "(SAVED FILES LOG)", "(E7)", "(E6)", "(E5)", "(E4)",
                                "(E3)", "(E2)", "%"}));
    // A smaller MaxLog trims an older, longer log down at the next save.
    EXPECT_EQ(with_saved_files_log_entry(log, "(E8)", 2, "(L*"),
              QStringList({"%", "(L* )", "(SAVED FILES LOG)", "(E8)", "(E7)", "%"}));
    EXPECT_EQ(with_saved_files_log_entry(log, "(E8)", 0, "(L*"), empty_log);
    EXPECT_EQ(with_saved_files_log_entry({"%"}, "(E1)", 6, "(L*"),
              QStringList({"%", "(L* )", "(SAVED FILES LOG)", "(E1)", "%"}));

    const QDateTime when(QDate(2026, 12, 11), QTime(15, 4));
    EXPECT_EQ(saved_files_log_entry("/nc/save/p7.nc", when, 1234, QLocale::c()),
              QStringLiteral("(/NC/SAVE/P7.NC ") +
                  QLocale::c().toString(when.date(), QLocale::ShortFormat) + " " +
                  QLocale::c().toString(when.time(), QLocale::ShortFormat) + " 1234CHARS)");
}

TEST(ProgramFiles, EveryByteKept)
{
    struct Case {
        QByteArray bytes;
        QStringList lines;
        QByteArray written;
    };
    const Case cases[] = {
        {"%\nO1\n%\n", {"%", "O1", "%"}, "%\nO1\n%\n"},
        {"%\r\nO1\r\n%", {"%", "O1", "%"}, "%\nO1\n%\n"},
        {"A\rB\n\nC", {"A", "B", "", "C"}, "A\nB\n\nC\n"},
        {"\xB0\xFF\x01\n", {QString(QChar(0xB0)) + QChar(0xFF) + QChar(1)}, "\xB0\xFF\x01\n"},
        {"", {}, ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(split_program_text(c.bytes), c.lines) << c.bytes.toHex().constData();
        EXPECT_EQ(join_program_lines(c.lines), c.written) << c.bytes.toHex().constData();
    }

    QTemporaryDir dir;
    const QString path = dir.filePath("p.nc");
    QString error;
    ASSERT_TRUE(write_program_file(path, "%\n\xB0\n", &error)) << error.toStdString();
    QStringList lines;
    ASSERT_TRUE(read_program_file(path, &lines, &error));
    EXPECT_EQ(lines, QStringList({"%", QString(QChar(0xB0))}));
    EXPECT_FALSE(write_program_file(dir.filePath("missing/p.nc"), "%\n", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(AutoSave, SaveAndNumberedCopy)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    QDir(folder).mkdir("backup");
    QFile(folder + "backup/O1000-01.NC").open(QIODevice::WriteOnly);
    QFile(folder + "backup/O1000-07.NC").open(QIODevice::WriteOnly);

    EXPECT_EQ(complete_save_path("P1.NC", "/nc/save/", folder), "/nc/save/P1.NC");
    EXPECT_EQ(complete_save_path("P1.NC", "", folder), folder + "P1.NC");
    EXPECT_EQ(complete_save_path("/x/P1.NC", "/nc/save/", folder), "/x/P1.NC");

    const SaveOutcome saved =
        save_program(folder + "O1000.NC", {"%", "O1000", "%"}, folder + "backup/");
    EXPECT_TRUE(saved.saved);
    EXPECT_EQ(saved.size, 10);
    EXPECT_EQ(saved.backup_path, folder + "backup/O1000-08.NC");
    EXPECT_TRUE(saved.backup_problem.isEmpty());
    QFile copy(saved.backup_path);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("%\nO1000\n%\n"));

    const SaveOutcome no_folder = save_program(folder + "gone/O1.NC", {"%"}, QString());
    EXPECT_FALSE(no_folder.saved);
    EXPECT_TRUE(no_folder.problem.contains(folder + "gone")) << no_folder.problem.toStdString();
    EXPECT_FALSE(QFile::exists(folder + "gone/O1.NC"));

    const SaveOutcome no_backup = save_program(folder + "O2.NC", {"%"}, folder + "nobackup/");
    EXPECT_TRUE(no_backup.saved);
    EXPECT_TRUE(QFile::exists(folder + "O2.NC"));
    EXPECT_TRUE(no_backup.backup_problem.contains(folder + "nobackup/"));
}

} // namespace
} // namespace dnc
