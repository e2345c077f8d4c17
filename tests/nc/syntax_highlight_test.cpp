#include "nc/syntax_highlight.h"

#include <QString>
#include <gtest/gtest.h>
#include <initializer_list>
#include <utility>

namespace dnc
{
namespace
{

// Display codes written as runs: {{0, 4}, {100, 5}} is four characters with
// code 0, then five with code 100.
QString runs(std::initializer_list<std::pair<int, int>> parts)
{
    QString out;
    for (const auto &[code, count] : parts)
        out += QString(count, QChar(char16_t(code)));
    return out;
}

// A readable form for failure messages: "0 0 100 ...".
std::string codes(const std::optional<QString> &highlight)
{
    if (!highlight)
        return "none";
    std::string out;
    for (QChar c : *highlight)
        out += std::to_string(c.unicode()) + ' ';
    return out;
}

// X in red, Y in blue, comments fuchsia and bold on yellow.
HighlightSettings shop_settings()
{
    HighlightSettings s;
    s.Address = {"X", "Y", "", "", ""};
    s.Color = {"clRed", "clBlue", "clLime", "clLime", "clLime"};
    s.CommentColor = "clFuchsia";
    s.CommentBold = true;
    s.CommentBackColor = "clYellow";
    s.UseColorHighlight = true;
    return s;
}

DisplayState idle_editor()
{
    DisplayState st;
    st.UseColorHighlight = true;
    return st;
}

constexpr int kRed = 100;
constexpr int kBlue = 400;
constexpr int kComment = 513;

TEST(DisplayLine, ColoursWordsAndComments)
{
    const HighlightRules rules = build_highlight_rules(shop_settings());
    struct LineCase {
        const char *what;
        bool bold_editor;
        const char16_t *line;
        QString expected;
    };
    const LineCase cases[] = {
        {"words and comment", false, u"G01 X1.5 Y-2.0 (CUT)",
         runs({{0, 4}, {kRed, 5}, {kBlue, 6}, {kComment, 5}})},
        {"lower case starts no word", false, u"x1 X1", runs({{0, 3}, {kRed, 2}})},
        {"unclosed comment runs to the end", false, u"X1 (OPEN", runs({{kRed, 3}, {kComment, 5}})},
        {"a letter inside the comment ends the word", false, u"X1(AB)C2",
         runs({{kRed, 2}, {kComment, 4}, {0, 2}})},
        {"a word running through a comment keeps its colours", false, u"X1(12)34 Y5",
         runs({{kRed, 2}, {kComment, 7}, {kBlue, 2}})},
        {"letters without a rule end a word", false, u"X1G2", runs({{kRed, 2}, {0, 2}})},
        {"bold editor: plain text bold, words as their rule", true, u"G1 X2",
         runs({{10, 3}, {kRed, 2}})},
        {"a stray ) takes the current code", true, u"G1)", runs({{10, 2}, {0, 1}})},
        {"empty line", false, u"", QString()},
    };
    for (const LineCase &c : cases) {
        DisplayState st = idle_editor();
        st.editor_bold = c.bold_editor;
        const std::optional<QString> h = DisplayLine(rules, st, QStringView(c.line));
        ASSERT_TRUE(h) << c.what;
        EXPECT_EQ(*h, c.expected) << c.what << ": " << codes(h);
    }
}

TEST(DisplayLine, NoColoursWhileBusyOrSwitchedOff)
{
    const HighlightRules rules = build_highlight_rules(shop_settings());
    void (*const states[])(DisplayState &) = {
        [](DisplayState &s) { s.UseColorHighlight = false; },
        [](DisplayState &s) { s.punching = true; },
        [](DisplayState &s) { s.global_ignore_editor_click = true; },
        [](DisplayState &s) { s.auto_dnc_flag = true; },
    };
    for (auto set : states) {
        DisplayState st = idle_editor();
        set(st);
        EXPECT_FALSE(DisplayLine(rules, st, u"G01 X1 (A)"));
    }
}

TEST(HighlightRules, BuiltFromTheSettings)
{
    HighlightSettings s;
    s.Address = {"X", "G1", "(ABC", "x", ""};
    s.Color = {"clRed", "CLWHITE", "clPurple", "clAqua", "clBlack"};
    s.Bold = {true, false, false, false, false};
    s.BackColor = {"clYellow", "", "clLime", "", ""};
    s.CommentColor = "clBlue";
    s.CommentBackColor = "clWhite";
    s.CommentBold = true;
    const HighlightRules r = build_highlight_rules(s);

    EXPECT_EQ(r[0].text_type, 0);
    EXPECT_EQ(r[0].address_character, u'X');
    EXPECT_TRUE(r[0].address_string.isEmpty());
    EXPECT_EQ(display_code(r[0]), 113);
    EXPECT_EQ(r[1].text_type, 3);
    EXPECT_EQ(r[1].address_string, "G1");
    EXPECT_EQ(r[1].address_number, 1.0f);
    EXPECT_EQ(display_code(r[1]), 700);
    EXPECT_EQ(r[2].text_type, 1);
    EXPECT_EQ(r[2].address_character, u'(');
    EXPECT_EQ(display_code(r[2]), 2); // unknown colour: 0
    EXPECT_EQ(r[3].address_character, u'X');
    EXPECT_EQ(r[4].address_character, QChar(0));
    EXPECT_EQ(r[kCommentRule].address_character, u'(');
    EXPECT_EQ(display_code(r[kCommentRule]), 417);

    HighlightSettings more;
    more.Address = {"G1.5*2", "AB", "M 30", "G", "Z9"};
    const HighlightRules m = build_highlight_rules(more);
    EXPECT_EQ(m[0].address_number, 3.0f);
    EXPECT_EQ(m[1].text_type, 1);
    EXPECT_EQ(m[2].text_type, 1);
    EXPECT_EQ(m[3].text_type, 0);
    EXPECT_EQ(m[4].text_type, 3);
    EXPECT_EQ(m[4].address_number, 9.0f);

    // A rule with text "AB" colours A words: only the first character counts.
    more.Color[1] = "clRed";
    more.UseColorHighlight = true;
    const std::optional<QString> h =
        DisplayLine(build_highlight_rules(more), idle_editor(), u"A1 B2");
    EXPECT_EQ(h, runs({{kRed, 3}, {0, 2}})) << codes(h);
}

TEST(HighlightRules, KeptWhileColouringIsOff)
{
    HighlightRules rules = build_highlight_rules(shop_settings());
    HighlightSettings off = shop_settings();
    off.UseColorHighlight = false;
    off.Address[0] = "Z";
    EXPECT_FALSE(update_highlight_rules(rules, off));
    EXPECT_EQ(rules[0].address_character, u'X');
    off.UseColorHighlight = true;
    EXPECT_TRUE(update_highlight_rules(rules, off));
    EXPECT_EQ(rules[0].address_character, u'Z');
}

TEST(HighlightRules, DisplayCodesAndColours)
{
    struct Decode {
        int code;
        int color;
        bool bold;
        int back;
    };
    const Decode decodes[] = {{0, 0, false, 0},
                              {717, 7, true, 7},
                              {5, 0, false, 5},
                              {110, 1, true, 0},
                              {403, 4, false, 3}};
    for (const Decode &d : decodes) {
        const DisplayCodeParts p = decode_display_code(d.code);
        EXPECT_EQ(p.color, d.color) << d.code;
        EXPECT_EQ(p.bold, d.bold) << d.code;
        EXPECT_EQ(p.back_color, d.back) << d.code;
    }
    EXPECT_EQ(color_index(u"clLime"), 2);
    EXPECT_EQ(color_index(u"clblack"), 0);
    EXPECT_EQ(color_index(u""), 0);
    EXPECT_EQ(color_rgb(1), 0xFF0000u);
    EXPECT_EQ(color_rgb(6), 0x00FFFFu);
    EXPECT_FALSE(color_rgb(0));
    EXPECT_FALSE(color_rgb(8));
}

} // namespace
} // namespace dnc
