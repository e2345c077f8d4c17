// Pure helpers for expanding subprogram calls and LOOP blocks while sending
// (the "Drip Feed Features"). The send engine keeps the state (call levels,
// return lines, loop counters); these functions only read lines.
//
// Line numbers are 1-based, like the send engine's line index.
//
// M codes are recognised as words: "M30", "M98", "M198" and "M99" followed by
// anything but another digit, outside "(" ... ")" comments. A comment that
// mentions M30, or an M300, therefore neither ends the send nor calls a
// subprogram.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace dnc
{

// Answer of the searches when nothing was found.
inline constexpr int kBlockNotFound = -999;

// The value of a word as the send engine reads it: the text after the first
// `letter` outside comments, blanks removed, the leading run of digits, "+",
// "-", "*", "/" and "." evaluated as an expression and truncated towards zero
// (clamped to the int range). 0 when the letter is missing or the text is not
// a valid expression.
int word_value(QStringView line, QChar letter);

// True for a word `M<code>` in the line (see above).
bool has_m_code(QStringView line, int code);

// True when the raw editor line starts with "(LOOP ".
bool is_loop_marker(QStringView line);

struct LoopMarker {
    int block_number = 0; // the N number the loop goes back to
    int repeat_count = 0; // further passes after the first
};

// Reads "(LOOP <block>,<count>)": the first ")" is dropped, the text after
// "(LOOP " has its blanks removed and is read as two comma-separated
// expressions. A missing or invalid number reads as 0; a text with 22 or more
// commas reads as 0 for both.
LoopMarker parse_loop_marker(QStringView line);

// The first line from `start_line` on (1-based) whose first or second
// character is "N" (a line of at least two characters) and whose N word has
// the value `number`. With `use_subprograms` the search ends after the first
// line holding M99 or M30. kBlockNotFound when there is none.
int find_block(const QStringList &lines, int number, int start_line, bool use_subprograms);

enum class SubprogramAction {
    None,   // an ordinary line: send it
    Call,   // M98 or M198: expand the subprogram instead of sending the line
    Return, // M99: go back to the line after the call instead of sending it
};

struct SubprogramLine {
    bool ends_program = false; // M30: the send ends after this line
    SubprogramAction action = SubprogramAction::None;
    int subprogram_number = 0; // the P value of a call (0: no usable P)
};

// What a prepared line asks of the subprogram expansion.
SubprogramLine classify_subprogram_line(QStringView line);

// The line (1-based) of the program's own subprogram `number`: the first line
// that, with leading blanks removed, starts with "O" or ":" followed by that
// number. kBlockNotFound when there is none.
int find_subprogram_in_program(const QStringList &lines, int number);

// The file of subprogram `number`: folder + prefix + the number with at least
// four digits ("%.4d") + extension (none when the extension is ".*"). A folder
// without a trailing separator gets "/".
QString subprogram_file_name(const QString &read_directory, const QString &prefix, int number,
                             const QString &extension);

enum class SubprogramFileLine {
    Send, // send it
    Skip, // a "%" line or the "O"/":" program-number line
    End,  // M99: the subprogram ends here (the line is not sent)
};

// How a line of a subprogram file is treated while the file is sent.
SubprogramFileLine subprogram_file_line(QStringView line);

} // namespace dnc
