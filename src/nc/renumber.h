// Renumbering the block numbers (N words) of a program.
//
// Consecutive numbers are given to the blocks, optionally only to blocks that
// already have one, or removed (increment 0); every renumbered block gets
// normalised spacing. Comments are recognised by the machine's own comment
// characters. Program numbers, "%", "$", ":" lines and IF/NB macro lines are
// left alone.
//
// Block-delete lines: a leading "/" (with an optional skip-switch digit 1-9, "/2")
// is set aside, the block behind it is numbered like any other block, and the
// "/" is put back first: "/N10 G01 X1" becomes "/N5 G01 X1", "/G00 X0"
// becomes "/N10 G00 X0". A "/" alone is left alone.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>

namespace dnc
{

// The machine's renumbering settings, filled from its settings record.
struct RenumberOptions {
    int RenumberStart = 5;        // above 1000 used as 1000, negative as 0
    int RenumberIncrement = 5;    // above 100 used as 100, negative as 5; 0 removes numbers
    bool ExistingOnly = false;    // only blocks that already start with "N"
    bool AddSpaces = false;       // one blank between words; off: no blanks at all
    bool IncludeComments = false; // also number commented blocks and comment-only lines
    QString StartCommentChar;     // empty: comments get no special treatment
    QString EndCommentChar;       // empty: ")" is used (see RenumberOutcome)
};

struct RenumberOutcome {
    // A line was renumbered (rewritten with or without a number): the editor
    // text is modified. Removing numbers from commented blocks alone does not
    // count.
    bool renumbered = false;
    // EndCommentChar was empty and ")" was used; the caller stores ")" in the
    // machine's record (in memory) as the machine's end comment character.
    bool end_comment_char_defaulted = false;
};

// Renumbers `lines` in place. When `abort` is given and becomes true, the
// remaining lines are left untouched.
RenumberOutcome renumber_lines(QStringList &lines, const RenumberOptions &options,
                               const std::atomic<bool> *abort = nullptr);

} // namespace dnc
