#include "nc/subprogram.h"

#include <QStringList>
#include <climits>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

TEST(Subprogram, WordValues)
{
    struct WordCase {
        const char *line;
        char letter;
        int value;
    };
    const WordCase cases[] = {
        {"N100 G01", 'N', 100},
        {"M98 P100", 'P', 100},
        {"M98 P 1 0 0", 'P', 100},
        {"M98 P1.9", 'P', 1},
        {"M98 P-2.5", 'P', -2},
        {"M98 P2*50", 'P', 100},
        {"M98 P", 'P', 0},
        {"M98 Q1", 'P', 0},
        {"M98 P+1", 'P', 0},
        {"M98 P1E9", 'P', 1},
        {"(PART 7) M98 P100", 'P', 100},
        {"M98 P99999999999", 'P', INT_MAX},
        {"M98 P-99999999999", 'P', INT_MIN},
        {"", 'P', 0},
    };
    for (const WordCase &c : cases) {
        EXPECT_EQ(word_value(QString::fromLatin1(c.line), QChar(c.letter)), c.value)
            << c.line << " " << c.letter;
    }
}

TEST(Subprogram, MCodesAreWords)
{
    struct MCase {
        const char *line;
        int code;
        bool found;
    };
    const MCase cases[] = {
        {"M30", 30, true},
        {"G00 M30", 30, true},
        {"N10M30(END)", 30, true},
        {"M300", 30, false},
        {"(M30 AT THE END)", 30, false},
        {"M3", 30, false},
        {"M198 P1", 98, false},
        {"M198 P1", 198, true},
        {"M99", 99, true},
        {"M099", 99, false},
        {"M30.", 30, true},
        {"(A) M99 (B)", 99, true},
    };
    for (const MCase &c : cases)
        EXPECT_EQ(has_m_code(QString::fromLatin1(c.line), c.code), c.found) << c.line;

    struct ClassCase {
        const char *line;
        bool ends;
        SubprogramAction action;
        int number;
    };
    const ClassCase lines[] = {
        {"M98 P100", false, SubprogramAction::Call, 100},
        {"N20 M198 P5 (CALL)", false, SubprogramAction::Call, 5},
        {"M98 P0", false, SubprogramAction::Call, 0},
        {"M98", false, SubprogramAction::Call, 0},
        {"M99", false, SubprogramAction::Return, 0},
        {"M30", true, SubprogramAction::None, 0},
        {"M98 P7 M30", true, SubprogramAction::Call, 7},
        {"G01 X1 (NO M98 HERE)", false, SubprogramAction::None, 0},
    };
    for (const ClassCase &c : lines) {
        const SubprogramLine s = classify_subprogram_line(QString::fromLatin1(c.line));
        EXPECT_EQ(s.ends_program, c.ends) << c.line;
        EXPECT_EQ(s.action, c.action) << c.line;
        EXPECT_EQ(s.subprogram_number, c.number) << c.line;
    }
}

TEST(Subprogram, LoopMarkers)
{
    EXPECT_TRUE(is_loop_marker(u"(LOOP 100,2)"));
    EXPECT_FALSE(is_loop_marker(u"(loop 100,2)"));
    EXPECT_FALSE(is_loop_marker(u" (LOOP 100,2)"));
    EXPECT_FALSE(is_loop_marker(u"(LOOP"));

    struct LoopCase {
        QString line;
        int block;
        int count;
    };
    const LoopCase cases[] = {
        {"(LOOP 100,2)", 100, 2},
        {"(LOOP 100 , 2 )", 100, 2},
        {"(LOOP 50*2,1+1)", 100, 2},
        {"(LOOP 100,2", 100, 2},
        {"(LOOP 1,2,3)", 1, 2},
        {"(LOOP 100)", 100, 0},
        {"(LOOP )", 0, 0},
        {"(LOOP ", 0, 0},
        {"(LOOP N100,2)", 0, 2},
        {"(LOOP 100,2) X", 100, 0},
        {"(LOOP 1,2" + QString(20, u',') + ")", 1, 2},
        {"(LOOP 1,2" + QString(21, u',') + ")", 0, 0},
        {"G01 X1", 0, 0},
    };
    for (const LoopCase &c : cases) {
        const LoopMarker m = parse_loop_marker(c.line);
        EXPECT_EQ(m.block_number, c.block) << qPrintable(c.line);
        EXPECT_EQ(m.repeat_count, c.count) << qPrintable(c.line);
    }
}

TEST(Subprogram, FindingBlocksAndSubprograms)
{
    const QStringList program = {
        "%",            // 1
        "O1000",        // 2
        "N100 G01 X1",  // 3
        "/N120 X2",     // 4
        "(LOOP 100,2)", // 5
        "M98 P200",     // 6
        "M30",          // 7
        "  O200",       // 8
        "N300 X5",      // 9
        "M99",          // 10
        ":300",         // 11
        "N",            // 12
    };
    struct FindCase {
        int number;
        int start;
        bool subprograms;
        int line;
    };
    const FindCase finds[] = {
        {100, 1, true, 3},
        {120, 1, true, 4},
        {300, 1, true, kBlockNotFound},
        {300, 1, false, 9},
        {300, 8, true, 9},
        {100, 4, false, kBlockNotFound},
        {999, 1, false, kBlockNotFound},
        {100, -5, true, 3},
        {0, 1, false, kBlockNotFound},
    };
    for (const FindCase &f : finds) {
        EXPECT_EQ(find_block(program, f.number, f.start, f.subprograms), f.line)
            << f.number << " from " << f.start;
    }
    EXPECT_EQ(find_subprogram_in_program(program, 200), 8);
    EXPECT_EQ(find_subprogram_in_program(program, 1000), 2);
    EXPECT_EQ(find_subprogram_in_program(program, 300), 11);
    EXPECT_EQ(find_subprogram_in_program(program, 5), kBlockNotFound);
    EXPECT_EQ(find_block(QStringList(), 1, 1, true), kBlockNotFound);
}

TEST(Subprogram, FilesOfSubprograms)
{
    EXPECT_EQ(subprogram_file_name("/nc/", "O", 100, ".NC"), "/nc/O0100.NC");
    EXPECT_EQ(subprogram_file_name("/nc", "O", 100, ".NC"), "/nc/O0100.NC");
    EXPECT_EQ(subprogram_file_name("/nc/", "O", 100, ".*"), "/nc/O0100");
    EXPECT_EQ(subprogram_file_name("/nc/", "", 12345, ".nc"), "/nc/12345.nc");
    EXPECT_EQ(subprogram_file_name("/nc/", "O", -5, ".nc"), "/nc/O-0005.nc");
    EXPECT_EQ(subprogram_file_name("", "O", 7, ""), "O0007");
    EXPECT_EQ(subprogram_file_name("C:\\NC\\", "O", 100, ".NC"), "C:\\NC\\O0100.NC");

    struct FileLineCase {
        const char *line;
        SubprogramFileLine kind;
    };
    const FileLineCase cases[] = {
        {"%", SubprogramFileLine::Skip},
        {"O100 (SUB)", SubprogramFileLine::Skip},
        {":100", SubprogramFileLine::Skip},
        {"M99", SubprogramFileLine::End},
        {"N10 M99 (BACK)", SubprogramFileLine::End},
        {"G01 X1", SubprogramFileLine::Send},
        {"(M99 IS THE END)", SubprogramFileLine::Send},
        {"", SubprogramFileLine::Send},
    };
    for (const FileLineCase &c : cases)
        EXPECT_EQ(subprogram_file_line(QString::fromLatin1(c.line)), c.kind) << c.line;
}

TEST(Subprogram, HostileLines)
{
    QString binary;
    for (int c = 0; c < 0x10000; c += 17)
        binary += QChar(char16_t(c));
    const QString lines[] = {binary, "(LOOP " + QString(100000, u','),
                             "(LOOP " + QString(100000, u'('), "M98 P" + QString(100000, u'9'),
                             QString(100000, u'M')};
    for (const QString &line : lines) {
        parse_loop_marker(line);
        classify_subprogram_line(line);
        subprogram_file_line(line);
        word_value(line, u'N');
    }
    EXPECT_EQ(classify_subprogram_line("M98 P" + QString(100000, u'9')).subprogram_number, 0);
    EXPECT_EQ(find_block(QStringList(std::begin(lines), std::end(lines)), 1, 1, true),
              kBlockNotFound);
}

} // namespace
} // namespace dnc
