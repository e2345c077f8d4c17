#include "nc/renumber.h"

#include "nc/block_text.h"
#include "nc/nc_word.h"

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

        QString body;
        QString comment;
        if (comments) {
            if (options.EndCommentChar.isEmpty())
                outcome.end_comment_char_defaulted = true;
            const Span span = machine_comment(block, start_text, end_text);
            if (span.start >= 0) {
                comment = block.sliced(span.start, span.length).toString();
                body = concat({block.first(span.start), block.sliced(span.start + span.length)});
            } else {
                body = block.toString();
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
        } else {
            body = block.toString();
        }

        // Words that begin with "N" (NEXT, END1) keep their letter: an extra
        // "N" in front becomes the block number's letter.
        const qsizetype first_n = body.indexOf(u'N');
        const qsizetype ne = body.indexOf(u"NE");
        if (ne >= 0 && first_n == ne)
            body.prepend(u'N');
        const qsizetype end = body.indexOf(u"END");
        if (end >= 0 && body.indexOf(u'N') == end + 1)
            body.prepend(u'N');

        QStringView rest = body;
        if (rest.startsWith(u'N'))
            rest = without_leading_blanks(rest.sliced(1 + number_run(rest, 1)));

        QString result;
        result.reserve(prefix.size() + rest.size() + comment.size() + 12);
        result += prefix;
        if (step > 0) {
            result += u'N';
            result += QString::number(number);
        }
        result += rest;
        if (options.AddSpaces) {
            const QStringView numbered = QStringView(result).sliced(prefix.size());
            if (!comments || !numbered.contains(start_text))
                result = concat({prefix, ncword::space_words(numbered)});
            if (!comment.isEmpty())
                result += u' ';
        } else {
            result = without_blanks(result);
        }
        result += comment;
        lines[i] = result;
        number += step;
        outcome.renumbered = true;
    }
    return outcome;
}

} // namespace dnc
