// Text operations on one NC block (one line): read, test, replace, offset,
// scale, conditionally change, remove and rotate address words, format
// numbers, and handle the comment and the spacing. Scripts reach each of them
// as a text form ("..._S") and as an editor form that applies it to lines.
//
// The block as these operations see it:
// - a word is an address followed by a number; the number is the longest run
//   of number characters (tab, "*", "+", "-", ".", "/", "0" to "9") after the
//   address, so X1.5*2 is the word X with the number 1.5*2;
// - the comment runs from the first "(" to the first ")" (to the end of the
//   line when there is none); when the first ")" comes before the first "(",
//   the line has no comment. "(" and ")" are always the delimiters here,
//   whatever the machine's own comment characters are;
// - blanks are spaces only;
// - numbers are written and read with "." whatever the regional settings.
// An address is looked for at its first occurrence.
//
// Every operation is a pure function of its arguments.
#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <utility>

namespace dnc::ncword
{

// GetValue's answer when the word is absent or has no number.
inline constexpr double kNoValue = -9999.9999;

// The comment with its delimiters, or an empty text.
QString GetComment(QStringView line);

// The line without its comment.
QString StripComment(QStringView line);

// True when the line contains "(".
bool HasStartComment(QStringView line);

// Blanks removed, the comment moved to the end.
QString StripSpaces(QStringView line);

// One blank before each upper-case letter, runs of blanks made one, the
// comment moved to the end.
QString AddSpaces(QStringView line);

// The value of the word `address` (any text; compared in upper case) outside
// the comment, blanks ignored; the number text is evaluated as an expression
// and reads 0 when it is not valid. kNoValue when the word is absent or has no
// number characters.
double GetValue(QStringView address, QStringView line);

// True when `address` in upper case occurs outside the comment.
bool HasAddress(QStringView address, QStringView line);

// The number of the first `address` (exact letter case, comments included)
// replaced by FormatNumber(value).
QString ReplaceValue(QStringView address, double value, QStringView line);

// Conditional change of a word's number. num_format selects the decimals N
// and the mode M: 0-99 general form, M = num_format; 100-199 N=1; 200-299
// N=2; 300-399 N=3; 400-899 N=4; 900 and above N=0 (M = num_format minus
// the hundreds). M: 0 when equal to old_value, 1 always, 2 when less, 3 when
// greater, 4 always with the comment searched and kept in place, 5 always,
// re-writing the word's own value. With N the number is written with N
// implied decimals and no point (1.5 -> 1500 for N=3). Except in mode 4 the
// comment is moved to the end of the line even when nothing changes.
QString ChangeV(QStringView address, double old_value, double new_value, int num_format,
                QStringView line);

// The word's number plus `value`, written in the general form. Returns
// nothing when the word's number is not a plain decimal number (scripts report
// that as a conversion error).
std::optional<QString> Offset(QStringView address, double value, QStringView line);

// The word's number times `value`, rounded to 4 decimals, written in the
// general form; a number 0 leaves the line alone. Returns nothing when the
// number is not a plain decimal number.
std::optional<QString> Scale(QStringView address, double value, QStringView line);

// The word removed together with the blank in front of it; the comment moves
// to the end. Remove("(", line) removes the comment.
QString Remove(QStringView address, QStringView line);

// s followed by line; line followed by s.
QString Front(QStringView s, QStringView line);
QString Rear(QStringView s, QStringView line);

// X/Y and I/J rotated by `angle` degrees (counter-clockwise) about the origin.
// Absent X and Y words are appended; absent I and J are not.
QString Rotate(double angle, QStringView line);

// The value rounded to 4 decimals: 100 -> "100.0", 12.34567 -> "12.3457".
QString FormatNumber(double value);

// The spacing rule that AddSpaces and renumbering share: a blank before every
// "A" to "Z" not already preceded by one (the first character excepted), then
// every blank that follows a blank deleted (the first two characters
// excepted, so a run at the very start keeps two).
QString space_words(QStringView text);

// space_words(text) appended to `out`.
void append_spaced_words(QString &out, QStringView text);

// The point (px, py) rotated about (cx, cy) by `angle` degrees the way the
// NC tools do it: coordinates more than 200000 from the centre collapse onto
// the centre.
std::pair<double, double> rotate_point(double px, double py, double cx, double cy, double angle);

} // namespace dnc::ncword
