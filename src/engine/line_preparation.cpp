#include "engine/line_preparation.h"

#include "comm/tape_code.h"

namespace dnc
{

namespace
{

void strip_characters(QString &line, const QString &strip)
{
    if (strip.isEmpty())
        return;
    QString kept;
    kept.reserve(line.size());
    for (const QChar c : line) {
        if (!strip.contains(c))
            kept += c;
    }
    line = kept;
}

void strip_comment(QString &line, const QString &start, const QString &end)
{
    if (start.isEmpty())
        return;
    const qsizetype from = line.indexOf(start);
    if (from < 0)
        return;
    if (end.isEmpty()) {
        line.truncate(from);
        return;
    }
    const qsizetype to = line.indexOf(end, from + start.size());
    if (to >= 0)
        line.remove(from, to + end.size() - from);
}

} // namespace

QString prepare_line_body(const MachineSettingsRecord &record, const QString &line,
                          bool *comment_emptied)
{
    QString body = line;
    strip_characters(body, record.translated_strip_chars_string);
    bool emptied = false;
    if (record.StripComments && !record.StartCommentChar.isEmpty() &&
        body.contains(record.StartCommentChar)) {
        strip_comment(body, record.StartCommentChar, record.EndCommentChar);
        emptied = body.isEmpty();
    }
    const qsizetype dollar = body.indexOf(QLatin1Char('$'));
    const qsizetype percent = body.indexOf(QLatin1Char('%'));
    if (dollar >= 0 && percent >= 0 && dollar < percent)
        body.insert(percent, QString(8, QChar(0)));
    qsizetype end = body.size();
    while (end > 0 && (body[end - 1] == QLatin1Char('\r') || body[end - 1] == QLatin1Char('\n')))
        --end;
    body.truncate(end);
    if (comment_emptied)
        *comment_emptied = emptied;
    return body;
}

QString prepare_line(const MachineSettingsRecord &record, const QString &line)
{
    bool emptied = false;
    const QString body = prepare_line_body(record, line, &emptied);
    if (emptied)
        return {};
    return body + end_of_block_string(record);
}

} // namespace dnc
