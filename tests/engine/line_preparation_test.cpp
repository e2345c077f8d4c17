// What the send step makes of one editor line before the tape code.
#include "engine/line_preparation.h"

#include <gtest/gtest.h>

namespace dnc
{
namespace
{

struct PrepCase {
    const char *name;
    const char *strip_chars;
    bool strip_comments;
    const char *start;
    const char *end;
    QString line;
    QString expected; // with the ASCII CR LF end of block

    friend void PrintTo(const PrepCase &c, std::ostream *out) { *out << c.name; }
};

QString nuls(int n)
{
    return QString(n, QChar(0));
}

class LinePreparation : public ::testing::TestWithParam<PrepCase>
{
};

TEST_P(LinePreparation, PreparesTheLine)
{
    const PrepCase &c = GetParam();
    MachineSettingsRecord r;
    r.punch_format = PunchAscii;
    r.EOB_type = EobCrLf;
    r.translated_strip_chars_string = QString::fromLatin1(c.strip_chars);
    r.StripComments = c.strip_comments;
    r.StartCommentChar = QString::fromLatin1(c.start);
    r.EndCommentChar = QString::fromLatin1(c.end);
    EXPECT_EQ(prepare_line(r, c.line), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinePreparation,
    ::testing::Values(
        PrepCase{"plain", "", false, "(", ")", "G01 X1", "G01 X1\r\n"},
        PrepCase{"empty line keeps its end of block", "", false, "(", ")", "", "\r\n"},
        PrepCase{"strip characters", " ", false, "(", ")", "G01 X1 Y2", "G01X1Y2\r\n"},
        PrepCase{"comment removed, blank kept", "", true, "(", ")", "G00 X1 (RAPID)",
                 "G00 X1 \r\n"},
        PrepCase{"comment-only line is not sent", "", true, "(", ")", "(SETUP SHEET 4)", ""},
        PrepCase{"only the first comment", "", true, "(", ")", "G01 (A) X1 (B)", "G01  X1 (B)\r\n"},
        PrepCase{"end character only before the start", "", true, "(", ")", "G01) X1 (A",
                 "G01) X1 (A\r\n"},
        PrepCase{"empty end character cuts to the end", "", true, ";", "", "G01 X1 ;FEED RATE",
                 "G01 X1 \r\n"},
        PrepCase{"comments kept when not stripping", "", false, "(", ")", "(X)", "(X)\r\n"},
        PrepCase{"dollar before percent gets eight NULs", "", false, "(", ")", "$O1000.NC%",
                 "$O1000.NC" + nuls(8) + "%\r\n"},
        PrepCase{"percent before dollar unchanged", "", false, "(", ")", "%$X", "%$X\r\n"},
        PrepCase{"trailing CR and LF removed", "", false, "(", ")", "G01\r\n\r", "G01\r\n"},
        PrepCase{"strip characters before comments", "(", true, "(", ")", "G01 (X)", "G01 X)\r\n"}),
    [](const ::testing::TestParamInfo<PrepCase> &info) {
        return "case" + std::to_string(info.index);
    });

TEST(LinePreparationBody, TellsWhenACommentLeftNothing)
{
    MachineSettingsRecord r;
    r.StripComments = true;
    r.StartCommentChar = QStringLiteral("(");
    r.EndCommentChar = QStringLiteral(")");
    bool emptied = false;
    EXPECT_EQ(prepare_line_body(r, QStringLiteral("(ONLY)"), &emptied), QString());
    EXPECT_TRUE(emptied);
    EXPECT_EQ(prepare_line_body(r, QString(), &emptied), QString());
    EXPECT_FALSE(emptied);
}

} // namespace
} // namespace dnc
