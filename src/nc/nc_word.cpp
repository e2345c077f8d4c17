#include "nc/nc_word.h"

#include "nc/block_text.h"
#include "nc/expression.h"
#include "nc/number_text.h"

#include <cmath>

namespace dnc::ncword
{

namespace
{

struct Span {
    qsizetype start = -1;
    qsizetype length = 0;
    bool found() const { return start >= 0; }
};

// From the first "(" to the first ")" inclusive (to the end of the line
// without a ")"), when the "(" comes first. A "(" that is the last character
// of the line starts no comment.
Span comment_span(QStringView line)
{
    const qsizetype s = line.indexOf(u'(');
    if (s < 0)
        return {};
    qsizetype e = line.indexOf(u')');
    if (e < 0)
        e = line.size() - 1;
    if (s >= e)
        return {};
    return {s, e - s + 1};
}

QString strip_span(QStringView line, Span span)
{
    if (!span.found())
        return line.toString();
    QString out;
    out.reserve(line.size() - span.length);
    out += line.first(span.start);
    out += line.sliced(span.start + span.length);
    return out;
}

// A line split into its comment and the rest, as several operations take it
// apart: when the line holds a "(", the comment is cut out.
struct Split {
    QString body;
    QString comment;
};

Split split_comment(QStringView line)
{
    if (!line.contains(u'('))
        return {line.toString(), {}};
    const Span span = comment_span(line);
    return {strip_span(line, span),
            span.found() ? line.sliced(span.start, span.length).toString() : QString()};
}

// The word `address` (already in the wanted letter case) in a comment-free
// line, blanks ignored: the evaluated number, or nothing when the word is
// absent or has no number characters.
std::optional<EvalResult> word_number(QStringView address, QStringView body)
{
    if (address.isEmpty() || body.isEmpty())
        return std::nullopt;
    const QString packed = StripSpaces(body);
    const qsizetype pos = packed.indexOf(address);
    if (pos < 0)
        return std::nullopt;
    const qsizetype start = pos + address.size();
    const qsizetype run = number_run(packed, start);
    if (run == 0)
        return std::nullopt;
    return evaluate(QStringView(packed).sliced(start, run));
}

enum class NumberEdit { Offset, Scale };

std::optional<QString> edit_number(NumberEdit kind, QStringView address, double value,
                                   QStringView line)
{
    if (address.isEmpty())
        return line.toString();
    const Split split = split_comment(line);
    const QString &body = split.body;
    const qsizetype pos = body.indexOf(address);
    if (body.contains(u'(') || pos < 0 || value == 0)
        return line.toString();
    const qsizetype start = pos + 1;
    const qsizetype run = number_run(body, start);
    const std::optional<double> number = parse_plain_decimal(QStringView(body).sliced(start, run));
    if (!number)
        return std::nullopt;
    QString text;
    if (kind == NumberEdit::Offset) {
        text = general_form(*number + value);
    } else {
        if (*number == 0)
            return line.toString();
        text = general_form_rounded_4(*number * value);
    }
    if (text.isEmpty())
        return line.toString();
    return concat({QStringView(body).first(start), text, QStringView(body).sliced(start + run),
                   split.comment});
}

} // namespace

QString GetComment(QStringView line)
{
    const Span span = comment_span(line);
    return span.found() ? line.sliced(span.start, span.length).toString() : QString();
}

QString StripComment(QStringView line)
{
    return strip_span(line, comment_span(line));
}

bool HasStartComment(QStringView line)
{
    return line.contains(u'(');
}

QString StripSpaces(QStringView line)
{
    if (line.isEmpty())
        return QString();
    const Span span = comment_span(line);
    const QString body = strip_span(line, span);
    const QStringView comment = span.found() ? line.sliced(span.start, span.length) : QStringView();
    if (body == u"\r\n")
        return concat({comment, body});
    return concat({without_blanks(body), comment});
}

void append_spaced_words(QString &out, QStringView text)
{
    // One pass: a blank goes before each capital that lacks one, and a blank
    // that would follow a blank is dropped (except in the first two places,
    // so a run at the very start keeps two).
    const qsizetype base = out.size();
    auto put = [&out, base](QChar c) {
        if (c == u' ' && out.size() - base >= 2 && out.back() == u' ')
            return;
        out += c;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (i > 0 && c >= u'A' && c <= u'Z' && text[i - 1] != u' ')
            put(u' ');
        put(c);
    }
}

QString space_words(QStringView text)
{
    QString out;
    out.reserve(text.size() + text.size() / 2 + 1);
    append_spaced_words(out, text);
    return out;
}

QString AddSpaces(QStringView line)
{
    if (line.isEmpty())
        return QString();
    const Span span = comment_span(line);
    const QString body = strip_span(line, span);
    const QStringView comment = span.found() ? line.sliced(span.start, span.length) : QStringView();
    return concat({space_words(body), comment});
}

double GetValue(QStringView address, QStringView line)
{
    const std::optional<EvalResult> word = word_number(ascii_upper(address), StripComment(line));
    return word ? word->value : kNoValue;
}

bool HasAddress(QStringView address, QStringView line)
{
    if (address.isEmpty())
        return false;
    return StripComment(line).contains(ascii_upper(address));
}

QString ReplaceValue(QStringView address, double value, QStringView line)
{
    const qsizetype pos = find_text(line, address);
    const QString text = FormatNumber(value);
    if (pos < 0 || text.isEmpty())
        return line.toString();
    const qsizetype start = pos + 1;
    const qsizetype run = number_run(line, start);
    return concat({line.first(start), text, line.sliced(start + run)});
}

QString ChangeV(QStringView address, double old_value, double new_value, int num_format,
                QStringView line)
{
    int decimals = -1; // general form
    int mode = num_format;
    if (num_format >= 900) {
        decimals = 0;
        mode = num_format - 900;
    } else if (num_format >= 400) {
        decimals = 4;
        mode = num_format - 400;
    } else if (num_format >= 100) {
        decimals = num_format / 100;
        mode = num_format % 100;
    }
    const bool keep_comment_in_place = mode == 4;
    const Split split = keep_comment_in_place ? Split{line.toString(), {}} : split_comment(line);
    const QString &body = split.body;
    const qsizetype pos = find_text(body, address);
    if (pos < 0 || (!keep_comment_in_place && body.contains(u'(')))
        return body + split.comment;

    const qsizetype start = pos + address.size();
    const qsizetype run = number_run(body, start);
    const double v = evaluate(QStringView(body).sliced(start, run)).value;
    bool change = false;
    switch (mode) {
    case 0:
        change = v == old_value;
        break;
    case 1:
    case 4:
    case 5:
        change = true;
        break;
    case 2:
        change = v < old_value;
        break;
    case 3:
        change = v > old_value;
        break;
    default:
        break;
    }
    if (!change)
        return body + split.comment;
    const double written = mode == 5 ? v : new_value;
    const QString text =
        decimals >= 0 ? fixed_implied_form(written, decimals) : general_form(written);
    if (text.isEmpty())
        return body + split.comment;
    return concat({QStringView(body).first(start), text, QStringView(body).sliced(start + run),
                   split.comment});
}

std::optional<QString> Offset(QStringView address, double value, QStringView line)
{
    return edit_number(NumberEdit::Offset, address, value, line);
}

std::optional<QString> Scale(QStringView address, double value, QStringView line)
{
    return edit_number(NumberEdit::Scale, address, value, line);
}

QString Remove(QStringView address, QStringView line)
{
    const Split split = split_comment(line);
    const QString &body = split.body;
    if (line.contains(u'(') && address == u"(")
        return body;
    const qsizetype pos = find_text(body, address);
    if (pos < 0)
        return line.toString();
    // The separating blank in front of the word goes with it; any other
    // character stays (N10X1.5Y2 without X is N10Y2, not N1Y2).
    const qsizetype front = pos > 0 && body[pos - 1] == u' ' ? pos - 1 : pos;
    const qsizetype rest = pos + 1 + number_run(body, pos + 1);
    const QString joined =
        concat({QStringView(body).first(front), QStringView(body).sliced(rest), split.comment});
    return trim_control(joined).toString();
}

QString Front(QStringView s, QStringView line)
{
    return concat({s, line});
}

QString Rear(QStringView s, QStringView line)
{
    return concat({line, s});
}

std::pair<double, double> rotate_point(double px, double py, double cx, double cy, double angle)
{
    constexpr double kDegreesPerRadian = 57.29577951;
    constexpr double kNudge = 0.0000001;
    if (angle == 0)
        return {px, py};
    const double dx = std::fabs(px - cx);
    const double dy = std::fabs(py - cy);
    const double distance = dx > 200000 || dy > 200000 ? 0 : std::sqrt(dx * dx + dy * dy);

    double polar = 0;
    if (px != cx || py != cy) {
        double a = dy;
        double b = dx;
        double ccx = cx;
        double ccy = cy;
        if (a == 0) {
            a = kNudge;
            ccy = cy + kNudge;
        }
        if (b == 0) {
            b = kNudge;
            ccx = cx + kNudge;
        }
        polar = std::atan(a / b) * kDegreesPerRadian;
        const bool left = px < ccx;
        const bool above = py > ccy;
        if (left && above)
            polar = 180 - polar;
        else if (left)
            polar = polar + 180;
        else if (!above)
            polar = 360 - polar;
        for (int k = 0; k < 2 && polar > 360; ++k)
            polar -= 360;
        for (int k = 0; k < 2 && polar < 0; ++k)
            polar += 360;
    }
    const double turned = (polar + angle) / kDegreesPerRadian;
    return {cx + distance * std::cos(turned), cy + distance * std::sin(turned)};
}

QString Rotate(double angle, QStringView line)
{
    if (line.isEmpty() || !std::isfinite(angle))
        return line.toString();
    const Span span = comment_span(line);
    QString body = strip_span(line, span);
    const QStringView comment = span.found() ? line.sliced(span.start, span.length) : QStringView();
    if (body.contains(u'('))
        return line.toString();

    // X, Y, I, J: whether each is present and its value. A present letter
    // whose number is missing, separated by a blank or not a valid
    // expression (an IF, a macro argument) cannot be rotated: the block is
    // left alone rather than written with a made-up coordinate.
    constexpr char16_t kLetters[4] = {u'X', u'Y', u'I', u'J'};
    bool present[4] = {};
    double value[4] = {};
    bool any = false;
    for (int k = 0; k < 4; ++k) {
        const QChar letter(kLetters[k]);
        const qsizetype pos = body.indexOf(letter);
        if (pos < 0)
            continue;
        const std::optional<EvalResult> word = word_number(QStringView(&kLetters[k], 1), body);
        if (number_run(body, pos + 1) == 0 || !word || !word->ok())
            return line.toString();
        present[k] = true;
        value[k] = word->value;
        any = true;
    }
    if (!any)
        return concat({body, comment});

    const auto [x, y] = rotate_point(value[0], value[1], 0, 0, angle);
    const auto [i, j] = rotate_point(value[2], value[3], 0, 0, angle);
    const double turned[4] = {x, y, i, j};
    for (int k = 0; k < 4; ++k) {
        const QChar letter(kLetters[k]);
        if (present[k])
            body = ReplaceValue(QStringView(&kLetters[k], 1), turned[k], body);
        else if (k < 2)
            body += letter + FormatNumber(turned[k]);
    }
    return concat({body, comment});
}

QString FormatNumber(double value)
{
    return format_number_4(value);
}

} // namespace dnc::ncword
