#include "nc/nc_word.h"
#include "nc/number_text.h"

#include "german_locale.h"

#include <QString>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace dnc
{
namespace
{

using namespace ncword;

struct TextCase {
    const char *what;
    QString actual;
    QString expected;
};

void expect_all(const std::vector<TextCase> &cases)
{
    for (const TextCase &c : cases)
        EXPECT_EQ(c.actual, c.expected) << c.what;
}

TEST(NcWord, CommentsAndSpacing)
{
    expect_all({
        {"comment", GetComment(u"G01 (A) X1 (B)"), "(A)"},
        {"unclosed comment", GetComment(u"G01 (OPEN"), "(OPEN"},
        {"close before open", GetComment(u"G01 ) (A"), ""},
        {"open as last character", GetComment(u"G01 ("), ""},
        {"no comment", GetComment(u"G01 X1"), ""},
        {"strip", StripComment(u"G01 (A) X1"), "G01  X1"},
        {"strip unclosed", StripComment(u"G01 (OPEN"), "G01 "},
        {"strip close before open", StripComment(u"G01 ) (A"), "G01 ) (A"},
        {"strip spaces", StripSpaces(u"N10 G01 (A B) X1.5"), "N10G01X1.5(A B)"},
        {"strip spaces, comment only", StripSpaces(u"( A B )"), "( A B )"},
        {"strip spaces, CR LF", StripSpaces(u"\r\n"), "\r\n"},
        {"strip spaces keeps tabs", StripSpaces(u"X1\t Y2"), "X1\tY2"},
        {"add spaces", AddSpaces(u"N10G01X1.5Y-2.0(CUT)"), "N10 G01 X1.5 Y-2.0(CUT)"},
        {"add spaces, runs", AddSpaces(u"N10 G01   X1"), "N10 G01 X1"},
        {"add spaces, comment only", AddSpaces(u"(ONLY THIS)"), "(ONLY THIS)"},
        {"add spaces, leading run keeps two", AddSpaces(u"   X1"), "  X1"},
        {"add spaces, lower case", AddSpaces(u"g01x1"), "g01x1"},
        {"empty", AddSpaces(u""), ""},
    });
    EXPECT_TRUE(HasStartComment(u"X1 (A"));
    EXPECT_FALSE(HasStartComment(u"X1 A)"));
}

TEST(NcWord, GetValueAndHasAddress)
{
    struct ValueCase {
        const char *address;
        const char *line;
        double value;
    };
    const ValueCase cases[] = {
        {"X", "N10 X-1.5", -1.5}, {"X", "N10 X1.5*2", 3},
        {"X", "N10 X 2.5", 2.5},  {"X", "N10 X+1", 0},
        {"x", "N1 X5", 5},        {"X", "N1 Y5", kNoValue},
        {"X", "N1 X", kNoValue},  {"X", "N1 X(COMMENT)", kNoValue},
        {"X", "(X5) X2", 2},      {"X", "N1 X\t1", 0},
        {"", "N1 X5", kNoValue},  {"X", "", kNoValue},
        {"X", "(X5)", kNoValue},  {"G", "G01 G90", 1},
        {"X", "X1/0", 0},         {"TOOL", "TOOL12", 12},
    };
    for (const ValueCase &c : cases) {
        EXPECT_EQ(GetValue(QString::fromLatin1(c.address), QString::fromLatin1(c.line)), c.value)
            << c.address << " in " << c.line;
    }
    EXPECT_TRUE(HasAddress(u"x", u"N1 X5"));
    EXPECT_TRUE(HasAddress(u"Y", u"N1 X5 Y 2"));
    EXPECT_FALSE(HasAddress(u"X", u"(X) Y1"));
    EXPECT_FALSE(HasAddress(u"", u"N1 X5"));
}

TEST(NcWord, ReplaceAndChange)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    expect_all({
        {"replace", ReplaceValue(u"X", 3, u"G01 X1.25 Y2"), "G01 X3.0 Y2"},
        {"replace inside comment", ReplaceValue(u"X", 1, u"(X AXIS) X5"), "(X1.0 AXIS) X5"},
        {"replace rounds", ReplaceValue(u"X", 1.23456, u"X1"), "X1.2346"},
        {"replace lower case finds nothing", ReplaceValue(u"x", 3, u"X1"), "X1"},
        {"replace absent", ReplaceValue(u"Z", 3, u"X1"), "X1"},
        {"replace not finite", ReplaceValue(u"X", nan, u"X1"), "X1"},
        {"change equal", ChangeV(u"X", 1, 2.5, 0, u"N10 X1.0 Y2.0"), "N10 X2.5 Y2.0"},
        {"change implied 3", ChangeV(u"X", 1, 2.5, 300, u"N10 X1.0 Y2.0"), "N10 X2500 Y2.0"},
        {"change reformat", ChangeV(u"X", 0, 0, 5, u"N10 X1.0"), "N10 X1."},
        {"change less, not less", ChangeV(u"X", 5, 9, 2, u"N10 X6."), "N10 X6."},
        {"change less", ChangeV(u"X", 5, 9, 2, u"N10 X4."), "N10 X9."},
        {"change greater", ChangeV(u"X", 5, 9, 3, u"N10 X6."), "N10 X9."},
        {"change moves comment", ChangeV(u"X", 1, 2, 0, u"N10 X1 (A)"), "N10 X2. (A)"},
        {"change, nothing to do, comment moved", ChangeV(u"X", 7, 2, 0, u"N10 (A) X1"),
         "N10  X1(A)"},
        {"change, two comments", ChangeV(u"X", 1, 2, 1, u"N10 (A) X1 (B)"), "N10  X1 (B)(A)"},
        {"change mode 4 searches comment", ChangeV(u"X", 0, 7, 4, u"(X1) X2"), "(X7.) X2"},
        {"change lower case", ChangeV(u"x", 1, 2, 1, u"N10 X1"), "N10 X1"},
        {"change implied 0", ChangeV(u"X", 0, 12.6, 901, u"X1"), "X13"},
        {"change implied 4", ChangeV(u"X", 0, 1.23456, 401, u"X1"), "X12346"},
        {"change implied 2, negative", ChangeV(u"X", 0, -0.25, 201, u"X1"), "X-25"},
        {"change unknown mode", ChangeV(u"X", 0, 1, 6, u"X1 (A) Y"), "X1  Y(A)"},
        {"change multi-letter address", ChangeV(u"TL", 0, 4, 1, u"TL1 X2"), "TL4. X2"},
        {"change empty address", ChangeV(u"", 0, 4, 1, u"X1 (A)"), "X1 (A)"},
    });
}

TEST(NcWord, OffsetAndScale)
{
    struct OptCase {
        const char *what;
        std::optional<QString> actual;
        std::optional<QString> expected;
    };
    const OptCase cases[] = {
        {"offset", Offset(u"X", 1.5, u"G01 X1.0 Y2.0"), u"G01 X2.5 Y2.0"_qs},
        {"offset general form", Offset(u"X", 1, u"G01 X1.0"), u"G01 X2."_qs},
        {"offset to zero", Offset(u"X", 1, u"G01 X-1"), u"G01 X0."_qs},
        {"offset binary noise", Offset(u"X", 0.1, u"X0.2"), u"X0.3"_qs},
        {"offset keeps comment at end", Offset(u"X", 1, u"X1 (A) Y2"), u"X2.  Y2(A)"_qs},
        {"offset by 0", Offset(u"X", 0, u"G01 X1"), u"G01 X1"_qs},
        {"offset absent", Offset(u"Z", 1, u"G01 X1 (A)"), u"G01 X1 (A)"_qs},
        {"offset only in comment", Offset(u"X", 1, u"G01 (X1)"), u"G01 (X1)"_qs},
        {"offset two comments", Offset(u"X", 1, u"(A) X1 (B)"), u"(A) X1 (B)"_qs},
        {"offset arithmetic", Offset(u"X", 1, u"G01 X1.5*2"), std::nullopt},
        {"offset no number", Offset(u"X", 1, u"G01 X"), std::nullopt},
        {"scale", Scale(u"X", 2, u"G01 X1.25 Y2 (P)"), u"G01 X2.5 Y2 (P)"_qs},
        {"scale rounds to 4", Scale(u"X", 1.0 / 3, u"X1"), u"X0.3333"_qs},
        {"scale of zero", Scale(u"X", 2, u"X0.0"), u"X0.0"_qs},
        {"scale by zero", Scale(u"X", 0, u"X1"), u"X1"_qs},
        {"scale plus sign", Scale(u"X", 2, u"X+1.5"), u"X3."_qs},
        {"scale empty address", Scale(u"", 2, u"X1"), u"X1"_qs},
    };
    for (const OptCase &c : cases)
        EXPECT_EQ(c.actual, c.expected) << c.what;

    const std::optional<QString> tiny = Offset(u"X", -0.3, u"X0.30000000000000004");
    ASSERT_TRUE(tiny);
    EXPECT_FALSE(tiny->contains(u'E')) << qPrintable(*tiny);
    EXPECT_TRUE(tiny->startsWith(u"X0.0000000000000000555")) << qPrintable(*tiny);
}

TEST(NcWord, RemoveFrontRear)
{
    expect_all({
        {"remove", Remove(u"X", u"N10 G01 X1.5 Y2.0"), "N10 G01 Y2.0"},
        {"remove keeps comment", Remove(u"Y", u"N10 X1.0 Y2.0 (C)"), "N10 X1.0 (C)"},
        {"remove without blank keeps the number in front", Remove(u"X", u"N10X1.5Y2"), "N10Y2"},
        {"remove first word", Remove(u"X", u"X1 Y2"), "Y2"},
        {"remove comment", Remove(u"(", u"N10 X1 (A) Y2"), "N10 X1  Y2"},
        {"remove comment, none there", Remove(u"(", u"N10 X1"), "N10 X1"},
        {"remove absent", Remove(u"Z", u" N10 X1 (A)"), " N10 X1 (A)"},
        {"remove lower case", Remove(u"x", u"N10 X1"), "N10 X1"},
        {"remove G code", Remove(u"G01", u"N10 G01 X1"), "N10 X1"},
        {"front", Front(u"/", u"N10"), "/N10"},
        {"rear", Rear(u" M01", u"N10"), "N10 M01"},
    });
}

TEST(NcWord, Rotate)
{
    expect_all({
        {"rotate point", Rotate(90, u"G01 X10.0 Y0"), "G01 X0.0 Y10.0"},
        {"rotate appends Y", Rotate(90, u"G01 X10."), "G01 X0.0Y10.0"},
        {"rotate I J appends X Y", Rotate(90, u"G02 I5. J0"), "G02 I0.0 J5.0X0.0Y0.0"},
        {"rotate keeps comment at end", Rotate(90, u"G01 X10. (A)"), "G01 X0.0 Y10.0(A)"},
        {"rotate half turn", Rotate(180, u"X10 Y0"), "X-10.0 Y0.0"},
        {"rotate 45", Rotate(45, u"X10 Y10"), "X0.0 Y14.1421"},
        {"rotate clockwise", Rotate(-90, u"X0 Y10"), "X10.0 Y0.0"},
        {"rotate by 0 reformats", Rotate(0, u"G01 X10"), "G01 X10.0Y0.0"},
        {"rotate far point collapses", Rotate(90, u"G01 X300000 Y5"), "G01 X0.0 Y0.0"},
        {"rotate no coordinates", Rotate(90, u"G00 Z5 (A)"), "G00 Z5 (A)"},
        {"rotate two comments", Rotate(90, u"(A) X1 (B)"), "(A) X1 (B)"},
        {"rotate macro line", Rotate(90, u"IF [#1 GT 0] GOTO 5"), "IF [#1 GT 0] GOTO 5"},
        {"rotate invalid number", Rotate(90, u"G01 X+1 Y0"), "G01 X+1 Y0"},
        {"rotate blank after letter", Rotate(90, u"G01 X 10 Y0"), "G01 X 10 Y0"},
        {"rotate empty", Rotate(90, u""), ""},
    });
    const auto [x, y] = rotate_point(10, 0, 5, 0, 90);
    EXPECT_NEAR(x, 5, 1e-6);
    EXPECT_NEAR(y, 5, 1e-6);
}

TEST(NcWord, NumberForms)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    expect_all({
        {"fmt 100", FormatNumber(100), "100.0"},
        {"fmt 1.05", FormatNumber(1.05), "1.05"},
        {"fmt 12.34567", FormatNumber(12.34567), "12.3457"},
        {"fmt 0", FormatNumber(0), "0.0"},
        {"fmt 2.5", FormatNumber(2.5), "2.5"},
        {"fmt 1000.5", FormatNumber(1000.5), "1000.5"},
        {"fmt -0.5", FormatNumber(-0.5), "-0.5"},
        {"fmt decimal half", FormatNumber(1.00005), "1.0001"},
        {"fmt carry", FormatNumber(99999.99999), "100000.0"},
        {"fmt negative zero", FormatNumber(-0.00001), "0.0"},
        {"fmt not finite", FormatNumber(nan), ""},
        {"gen 2.5", general_form(2.5), "2.5"},
        {"gen 3", general_form(3), "3."},
        {"gen -10", general_form(-10), "-10."},
        {"gen 0", general_form(0), "0."},
        {"gen -0", general_form(-0.0), "0."},
        {"gen tiny", general_form(1e-7), "0.0000001"},
        {"gen huge", general_form(1e20), "100000000000000000000."},
        {"gen 15 digits", general_form(123456789012345678.0), "123456789012346000."},
        {"gen binary noise", general_form(0.1 + 0.2), "0.3"},
        {"implied 1.5/3", fixed_implied_form(1.5, 3), "1500"},
        {"implied -0.25/3", fixed_implied_form(-0.25, 3), "-250"},
        {"implied 12.6/0", fixed_implied_form(12.6, 0), "13"},
        {"implied 0", fixed_implied_form(0, 2), "0"},
        {"implied rounds to zero", fixed_implied_form(-0.004, 2), "0"},
        {"implied rounds up", fixed_implied_form(0.005, 2), "1"},
        {"implied carry", fixed_implied_form(99.996, 2), "10000"},
    });
    struct ParseCase {
        const char *text;
        std::optional<double> value;
    };
    const ParseCase parses[] = {{"1.5", 1.5},          {"-2", -2.0},
                                {"+3", 3.0},           {".5", 0.5},
                                {"5.", 5.0},           {"", std::nullopt},
                                {".", std::nullopt},   {"1.5*2", std::nullopt},
                                {"1\t", std::nullopt}, {"1.2.3", std::nullopt},
                                {"- 1", std::nullopt}, {"1E3", std::nullopt}};
    for (const ParseCase &p : parses)
        EXPECT_EQ(parse_plain_decimal(QString::fromLatin1(p.text)), p.value) << p.text;
}

TEST(NcWord, HostileLinesAreHandled)
{
    QString binary;
    for (int c = 0; c < 0x10000; c += 13)
        binary += QChar(char16_t(c));
    const QString long_line = QStringLiteral("N10 X") + QString(100000, u'9') +
                              QStringLiteral(" Y") + QString(50000, u'(');
    const QString lines[] = {QString(),
                             binary,
                             long_line,
                             QString(100000, u'X'),
                             QStringLiteral("((((X1"),
                             QStringLiteral("))))X1"),
                             QStringLiteral("X"),
                             QStringLiteral("(")};
    for (const QString &line : lines) {
        GetComment(line);
        StripComment(line);
        StripSpaces(line);
        AddSpaces(line);
        GetValue(u"X", line);
        HasAddress(u"X", line);
        ReplaceValue(u"X", 1, line);
        for (int format : {0, 1, 104, 205, 399, 450, 901, -1})
            ChangeV(u"X", 1, 2, format, line);
        Offset(u"X", 1, line);
        Scale(u"X", 2, line);
        Remove(u"X", line);
        Remove(u"(", line);
        Rotate(33, line);
    }
    EXPECT_EQ(ReplaceValue(u"X", 1e300, u"X1").size(), 304);
}

using NcWordGerman = test::GermanLocale;

TEST_F(NcWordGerman, NumbersUseThePoint)
{
    expect_all({
        {"format", FormatNumber(1.5), "1.5"},
        {"general", general_form(-10.25), "-10.25"},
        {"replace", ReplaceValue(u"X", 2.5, u"X1"), "X2.5"},
        {"change", ChangeV(u"X", 1, 2.25, 0, u"X1.0"), "X2.25"},
        {"rotate", Rotate(45, u"X10 Y10"), "X0.0 Y14.1421"},
        {"offset", Offset(u"X", 0.5, u"X1.25").value_or(QString()), "X1.75"},
    });
    EXPECT_EQ(GetValue(u"X", u"X1.5"), 1.5);
    EXPECT_EQ(parse_plain_decimal(u"1.5"), 1.5);
}

} // namespace
} // namespace dnc
