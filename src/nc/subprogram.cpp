#include "nc/subprogram.h"

#include "nc/block_text.h"
#include "nc/expression.h"

#include <QVarLengthArray>
#include <climits>
#include <cmath>

namespace dnc
{

namespace
{

// Truncated towards zero and clamped to the int range; 0 when not valid.
int truncated(EvalResult r)
{
    if (!r.ok())
        return 0;
    const double t = std::trunc(r.value);
    if (t >= double(INT_MAX))
        return INT_MAX;
    if (t <= double(INT_MIN))
        return INT_MIN;
    return int(t);
}

bool is_word_value_char(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || u == u'+' || u == u'-' || u == u'*' || u == u'/' ||
           u == u'.';
}

// Position of the first `letter` outside "(" ... ")" comments, or -1.
qsizetype find_outside_comments(QStringView line, QChar letter)
{
    bool in_comment = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'(')
            in_comment = true;
        else if (c == u')')
            in_comment = false;
        else if (!in_comment && c == letter)
            return i;
    }
    return -1;
}

} // namespace

int word_value(QStringView line, QChar letter)
{
    const qsizetype pos = find_outside_comments(line, letter);
    if (pos < 0)
        return 0;
    QVarLengthArray<char16_t, 32> run;
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u' ')
            continue;
        if (!is_word_value_char(c))
            break;
        run.append(c.unicode());
    }
    return truncated(evaluate(QStringView(run.data(), run.size())));
}

bool has_m_code(QStringView line, int code)
{
    char16_t digits[12];
    int count = 0;
    for (unsigned v = unsigned(code < 0 ? 0 : code);; v /= 10) {
        digits[count++] = char16_t(u'0' + v % 10);
        if (v < 10)
            break;
    }
    bool in_comment = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'(') {
            in_comment = true;
        } else if (c == u')') {
            in_comment = false;
        } else if (!in_comment && c == u'M') {
            qsizetype j = i + 1;
            int k = count - 1;
            while (k >= 0 && j < line.size() && line[j] == QChar(digits[k])) {
                ++j;
                --k;
            }
            if (k < 0 && (j >= line.size() || line[j] < u'0' || line[j] > u'9'))
                return true;
        }
    }
    return false;
}

bool is_loop_marker(QStringView line)
{
    return line.startsWith(u"(LOOP ");
}

LoopMarker parse_loop_marker(QStringView line)
{
    LoopMarker marker;
    if (!is_loop_marker(line))
        return marker;
    QString text = line.toString();
    const qsizetype close = text.indexOf(u')');
    if (close >= 0)
        text.remove(close, 1);
    QString fields = without_blanks(QStringView(text).sliced(6));
    fields += u',';
    if (fields.count(u',') >= 23)
        return marker;
    const QStringView view(fields);
    const qsizetype first_comma = view.indexOf(u',');
    marker.block_number = truncated(evaluate(view.first(first_comma)));
    const QStringView after = view.sliced(first_comma + 1);
    const qsizetype second_comma = after.indexOf(u',');
    if (second_comma >= 0)
        marker.repeat_count = truncated(evaluate(after.first(second_comma)));
    return marker;
}

int find_block(const QStringList &lines, int number, int start_line, bool use_subprograms)
{
    for (qsizetype i = std::max(start_line, 1); i <= lines.size(); ++i) {
        const QString &line = lines.at(i - 1);
        if (line.size() >= 2 && (line[0] == u'N' || line[1] == u'N') &&
            word_value(line, u'N') == number)
            return int(i);
        if (use_subprograms && (has_m_code(line, 99) || has_m_code(line, 30)))
            break;
    }
    return kBlockNotFound;
}

SubprogramLine classify_subprogram_line(QStringView line)
{
    SubprogramLine result;
    result.ends_program = has_m_code(line, 30);
    if (has_m_code(line, 98) || has_m_code(line, 198)) {
        result.action = SubprogramAction::Call;
        result.subprogram_number = word_value(line, u'P');
    } else if (has_m_code(line, 99)) {
        result.action = SubprogramAction::Return;
    }
    return result;
}

int find_subprogram_in_program(const QStringList &lines, int number)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringView line = trim_control_left(lines.at(i));
        if (line.isEmpty() || (line[0] != u'O' && line[0] != u':'))
            continue;
        if (word_value(line, line[0]) == number)
            return int(i + 1);
    }
    return kBlockNotFound;
}

QString subprogram_file_name(const QString &read_directory, const QString &prefix, int number,
                             const QString &extension)
{
    QString name = read_directory;
    if (!name.isEmpty() && !name.endsWith(u'/') && !name.endsWith(u'\\'))
        name += u'/';
    name += prefix;
    if (number < 0)
        name += u'-';
    const QString digits = QString::number(number < 0 ? -qint64(number) : qint64(number));
    for (qsizetype k = digits.size(); k < 4; ++k)
        name += u'0';
    name += digits;
    if (extension != u".*")
        name += extension;
    return name;
}

SubprogramFileLine subprogram_file_line(QStringView line)
{
    if (line.contains(u'%'))
        return SubprogramFileLine::Skip;
    if (line.startsWith(u'O') || line.startsWith(u':'))
        return SubprogramFileLine::Skip;
    if (has_m_code(line, 99))
        return SubprogramFileLine::End;
    return SubprogramFileLine::Send;
}

} // namespace dnc
