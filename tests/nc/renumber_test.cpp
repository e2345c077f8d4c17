#include "nc/renumber.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

RenumberOptions machine_options()
{
    RenumberOptions o;
    o.RenumberStart = 5;
    o.RenumberIncrement = 5;
    o.StartCommentChar = QStringLiteral("(");
    o.EndCommentChar = QStringLiteral(")");
    return o;
}

const QStringList kProgram = {
    "%",
    "O1000 (MAIN)",
    "N10 G90 G54",
    "G00 X0 Y0",
    "(TOOL CHANGE)",
    "N20 T1 M06 (DRILL)",
    "IF [#1 EQ 0] GOTO 10",
    "END1",
    "M30",
};

TEST(Renumber, OptionCombinationsOnASmallProgram)
{
    struct Column {
        const char *name;
        void (*set)(RenumberOptions &);
        QStringList expected;
        bool renumbered;
    };
    const Column columns[] = {
        {"default",
         [](RenumberOptions &) {},
         {"%", "O1000 (MAIN)", "N5G90G54", "N10G00X0Y0", "(TOOL CHANGE)", "T1 M06(DRILL)",
          "IF [#1 EQ 0] GOTO 10", "N15END1", "N20M30"},
         true},
        {"add spaces",
         [](RenumberOptions &o) { o.AddSpaces = true; },
         {"%", "O1000 (MAIN)", "N5 G90 G54", "N10 G00 X0 Y0", "(TOOL CHANGE)", "T1 M06(DRILL)",
          "IF [#1 EQ 0] GOTO 10", "N15 E N D1", "N20 M30"},
         true},
        {"add spaces, include comments",
         [](RenumberOptions &o) {
             o.AddSpaces = true;
             o.IncludeComments = true;
         },
         {"%", "O1000 (MAIN)", "N5 G90 G54", "N10 G00 X0 Y0", "N15 (TOOL CHANGE)",
          "N20 T1 M06  (DRILL)", "IF [#1 EQ 0] GOTO 10", "N25 E N D1", "N30 M30"},
         true},
        {"existing only, add spaces",
         [](RenumberOptions &o) {
             o.ExistingOnly = true;
             o.AddSpaces = true;
         },
         {"%", "O1000 (MAIN)", "N5 G90 G54", "G00 X0 Y0", "(TOOL CHANGE)", "N20 T1 M06 (DRILL)",
          "IF [#1 EQ 0] GOTO 10", "END1", "M30"},
         true},
        {"increment 0, add spaces",
         [](RenumberOptions &o) {
             o.RenumberIncrement = 0;
             o.AddSpaces = true;
         },
         {"%", "O1000 (MAIN)", "G90 G54", "G00 X0 Y0", "(TOOL CHANGE)", "T1 M06(DRILL)",
          "IF [#1 EQ 0] GOTO 10", "E N D1", "M30"},
         true},
    };
    for (const Column &c : columns) {
        RenumberOptions o = machine_options();
        c.set(o);
        QStringList lines = kProgram;
        const RenumberOutcome outcome = renumber_lines(lines, o);
        EXPECT_EQ(lines, c.expected) << c.name;
        EXPECT_EQ(outcome.renumbered, c.renumbered) << c.name;
        EXPECT_FALSE(outcome.end_comment_char_defaulted) << c.name;
    }
}

struct LineCase {
    const char *what;
    void (*set)(RenumberOptions &);
    QStringList lines;
    QStringList expected;
};

void no_change(RenumberOptions &) {}
void add_spaces(RenumberOptions &o)
{
    o.AddSpaces = true;
}

TEST(Renumber, SingleLineRules)
{
    const LineCase cases[] = {
        {"block delete keeps the slash first",
         add_spaces,
         {"/N10 G01 X1", "/G00 X0", "/2 N10 X1"},
         {"/N5 G01 X1", "/N10 G00 X0", "/2N15 X1"}},
        {"block delete without spaces", no_change, {"/ N10 G01 X1"}, {"/N5G01X1"}},
        {"block delete, existing only",
         [](RenumberOptions &o) {
             o.ExistingOnly = true;
             o.AddSpaces = true;
         },
         {"/N10 X1", "/G00 X0"},
         {"/N5 X1", "/G00 X0"}},
        {"block delete, numbers removed",
         [](RenumberOptions &o) { o.RenumberIncrement = 0; },
         {"/N10 X1"},
         {"/X1"}},
        {"block delete, commented", no_change, {"/N10 X1 (A)"}, {"/X1(A)"}},
        {"slash alone, blank line, empty line", no_change, {"/", "   ", ""}, {"/", "   ", ""}},
        {"comment-only line numbered without spaces",
         [](RenumberOptions &o) { o.IncludeComments = true; },
         {"(TOOL)"},
         {"N5(TOOL)"}},
        {"existing only keeps other blocks exactly",
         [](RenumberOptions &o) { o.ExistingOnly = true; },
         {"  G00   X0", "N7 X1"},
         {"  G00   X0", "N5X1"}},
        {"leading blanks go with a rewrite", no_change, {"  G00 X0"}, {"N5G00X0"}},
        {"NEXT keeps its letter", no_change, {"NEXT", "N10 NEXT"}, {"N5NEXT", "N10NEXT"}},
        {"program and macro lines",
         no_change,
         {"%", "$PROG%", ":1000", "O100", "IF[#1]", "NB1"},
         {"%", "$PROG%", ":1000", "O100", "IF[#1]", "NB1"}},
        {"existing only, numbers removed, comment",
         [](RenumberOptions &o) {
             o.ExistingOnly = true;
             o.RenumberIncrement = 0;
         },
         {"N10 X1 (A)"},
         {"X1(A)"}},
        {"two-character delimiters",
         [](RenumberOptions &o) {
             o.StartCommentChar = QStringLiteral("(*");
             o.EndCommentChar = QStringLiteral("*)");
             o.IncludeComments = true;
             o.AddSpaces = true;
         },
         {"N10 X1 (*A*) Y2"},
         {"N5 X1 Y2 (*A*)"}},
        {"no comment characters: plain text",
         [](RenumberOptions &o) { o.StartCommentChar.clear(); },
         {"N10 X1 (A)"},
         {"N5X1(A)"}},
        {"start clamped to 1000",
         [](RenumberOptions &o) { o.RenumberStart = 5000; },
         {"X1", "X2"},
         {"N1000X1", "N1005X2"}},
        {"negative start is 0", [](RenumberOptions &o) { o.RenumberStart = -3; }, {"X1"}, {"N0X1"}},
        {"increment clamped to 100",
         [](RenumberOptions &o) { o.RenumberIncrement = 500; },
         {"X1", "X2"},
         {"N5X1", "N105X2"}},
        {"negative increment is 5",
         [](RenumberOptions &o) { o.RenumberIncrement = -1; },
         {"X1", "X2"},
         {"N5X1", "N10X2"}},
    };
    for (const LineCase &c : cases) {
        RenumberOptions o = machine_options();
        c.set(o);
        QStringList lines = c.lines;
        renumber_lines(lines, o);
        EXPECT_EQ(lines, c.expected) << c.what;
    }
}

TEST(Renumber, WhatCountsAsAChange)
{
    RenumberOptions o = machine_options();
    QStringList empty;
    EXPECT_FALSE(renumber_lines(empty, o).renumbered);

    // Removing the numbers of commented blocks alone does not modify the
    // program as far as the editor is told.
    QStringList commented = {"N10 X1 (A)", "(B)"};
    const RenumberOutcome removed_only = renumber_lines(commented, o);
    EXPECT_EQ(commented, QStringList({"X1(A)", "(B)"}));
    EXPECT_FALSE(removed_only.renumbered);

    // An empty end character is taken as ")" and reported for the record.
    o.EndCommentChar.clear();
    QStringList open_comment = {"N10 X1 (A) Y2"};
    const RenumberOutcome defaulted = renumber_lines(open_comment, o);
    EXPECT_TRUE(defaulted.end_comment_char_defaulted);
    EXPECT_EQ(open_comment, QStringList({"X1  Y2(A)"}));
}

TEST(Renumber, AbortLeavesTheRestAlone)
{
    QStringList lines = {"X1", "X2"};
    std::atomic<bool> abort{true};
    const RenumberOutcome outcome = renumber_lines(lines, machine_options(), &abort);
    EXPECT_EQ(lines, QStringList({"X1", "X2"}));
    EXPECT_FALSE(outcome.renumbered);
}

TEST(Renumber, HostileLines)
{
    QString binary;
    for (int c = 0; c < 0x10000; c += 11)
        binary += QChar(char16_t(c));
    QStringList lines = {binary,
                         QString(100000, u'N'),
                         QString(100000, u'('),
                         QStringLiteral("/") + QString(100000, u'9'),
                         QStringLiteral("N"),
                         QStringLiteral("END"),
                         QStringLiteral("NE")};
    RenumberOptions o = machine_options();
    o.AddSpaces = true;
    o.IncludeComments = true;
    renumber_lines(lines, o);
    EXPECT_TRUE(lines.at(3).startsWith(u"/9N20999")); // "/9": block skip switch 9
    EXPECT_EQ(lines.at(4), QStringLiteral("N25"));
    EXPECT_EQ(lines.at(5), QStringLiteral("N30 E N D"));
    EXPECT_EQ(lines.at(6), QStringLiteral("N35 N E"));
}

} // namespace
} // namespace dnc
