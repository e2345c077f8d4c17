#include "nc/renumber.h"

#include "nc/block_text.h"
#include "nc/nc_word.h"

#include <utility>

namespace dnc
{

namespace
{

struct Span {
    qsizetype start = -1;
    qsizetype length = 0;
};

// The machine comment: from the first start text to the end of the first end
// text, or to the end of the line when there is no end text; nothing when the
// start text does not come before the end text.
Span machine_comment(QStringView line, QStringView start_text, QStringView end_text)
{
    const qsizetype s = line.indexOf(start_text);
    if (s < 0)
        return {};
    const qsizetype e = line.indexOf(end_text);
    const qsizetype e_first = e < 0 ? line.size() - 1 : e;
    if (s >= e_first)
        return {};
    const qsizetype e_last = e < 0 ? line.size() - 1 : e + end_text.size() - 1;
    return {s, e_last - s + 1};
}

bool is_left_alone(QStringView block)
{
    const QChar c = block[0];
    return c == u'%' || c == u'$' || c == u':' || c == u'O' || block.startsWith(u"IF") ||
           block.startsWith(u"NB");
}

QStringView without_leading_blanks(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    return text.sliced(i);
}

void append_decimal(QString &out, qint64 value)
{
    char16_t digits[24];
    int count = 0;
    do {
        digits[count++] = char16_t(u'0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (count > 0)
        out += QChar(digits[--count]);
}

} // namespace

RenumberOutcome renumber_lines(QStringList &lines, const RenumberOptions &options,
                               const std::atomic<bool> *abort)
{
    RenumberOutcome outcome;
    qint64 number = options.RenumberStart > 1000 ? 1000
                    : options.RenumberStart < 0  ? 0
                                                 : options.RenumberStart;
    const int step = options.RenumberIncrement > 100 ? 100
                     : options.RenumberIncrement < 0 ? 5
                                                     : options.RenumberIncrement;
    const QString &start_text = options.StartCommentChar;
    const bool comments = !start_text.isEmpty();
    const QString end_text =
        options.EndCommentChar.isEmpty() ? QStringLiteral(")") : options.EndCommentChar;

    QString numbered; // the new block before spacing; reused line after line
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (abort && abort->load(std::memory_order_relaxed))
            break;
        const QString &raw = lines.at(i);
        QStringView block = trim_control_left(raw);

        // A block-delete "/" (and its switch digit) stays in front of the
        // block number.
        QStringView prefix;
        if (!block.isEmpty() && block[0] == u'/') {
            const qsizetype p = block.size() > 1 && block[1] >= u'1' && block[1] <= u'9' ? 2 : 1;
            prefix = block.first(p);
            block = trim_control_left(block.sliced(p));
        }
        if (block.isEmpty())
            continue;
        if (options.ExistingOnly && block[0] != u'N')
            continue;
        if (is_left_alone(block))
            continue;

        // The block without its comment: a view of the line unless a comment
        // had to be cut out of the middle.
        QStringView body = block;
        QString cut_body;
        QStringView comment;
        if (comments) {
            if (options.EndCommentChar.isEmpty())
                outcome.end_comment_char_defaulted = true;
            const Span span = machine_comment(block, start_text, end_text);
            if (span.start >= 0) {
                comment = block.sliced(span.start, span.length);
                cut_body =
                    concat({block.first(span.start), block.sliced(span.start + span.length)});
                body = cut_body;
            }
            if (!options.IncludeComments && body.isEmpty())
                continue;
            if (!options.IncludeComments && !options.ExistingOnly && !comment.isEmpty()) {
                // A commented block is not numbered: it only loses its number.
                QStringView kept = body;
                if (kept.startsWith(u'N'))
                    kept = trim_control(kept.sliced(1 + number_run(kept, 1)));
                lines[i] = concat({prefix, kept, comment});
                continue;
            }
            if (options.ExistingOnly && step > 0 && !options.IncludeComments &&
                !comment.isEmpty() && body.startsWith(u'N'))
                continue;
        }

        // Words that begin with "N" (NEXT, END1) keep their letter: an extra
        // "N" in front becomes the block number's letter, and the old number
        // is what follows that extra letter.
        const qsizetype first_n = body.indexOf(u'N');
        const qsizetype ne = body.indexOf(u"NE");
        bool extra_n = ne >= 0 && first_n == ne;
        if (!extra_n) {
            const qsizetype end = body.indexOf(u"END");
            extra_n = end >= 0 && first_n == end + 1;
        }
        QStringView rest = body;
        if (extra_n)
            rest = without_leading_blanks(rest.sliced(number_run(rest, 0)));
        else if (rest.startsWith(u'N'))
            rest = without_leading_blanks(rest.sliced(1 + number_run(rest, 1)));

        numbered.resize(0);
        if (step > 0) {
            numbered += u'N';
            append_decimal(numbered, number);
        }
        numbered += rest;

        QString result;
        result.reserve(prefix.size() + 2 * numbered.size() + comment.size() + 1);
        result += prefix;
        if (!options.AddSpaces) {
            for (QChar c : std::as_const(numbered)) {
                if (c != u' ')
                    result += c;
            }
        } else {
            if (!comments || !numbered.contains(start_text))
                ncword::append_spaced_words(result, numbered);
            else
                result += numbered;
            if (!comment.isEmpty())
                result += u' ';
        }
        result += comment;
        lines[i] = result;
        number += step;
        outcome.renumbered = true;
    }
    return outcome;
}

} // namespace dnc
