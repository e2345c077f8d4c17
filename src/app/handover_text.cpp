#include "app/handover_text.h"

#include <QtEndian>

namespace dnc
{

QString copy_data_text(const QByteArray &data)
{
    const qsizetype units = data.size() / 2;
    QString text;
    text.reserve(units);
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t unit = qFromLittleEndian<quint16>(data.constData() + 2 * i);
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

QByteArray copy_data_bytes(const QString &text)
{
    QByteArray bytes(2 * text.size() + 1, '\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian<quint16>(text.at(i).unicode(), bytes.data() + 2 * i);
    return bytes;
}

namespace
{

// Drops everything up to and including the first double quote and
// everything from the next one on; a text without quotes stays as it is.
QString between_quotes(const QString &text)
{
    const qsizetype first = text.indexOf(QLatin1Char('"'));
    if (first < 0)
        return text;
    QString rest = text.mid(first + 1);
    const qsizetype second = rest.indexOf(QLatin1Char('"'));
    if (second >= 0)
        rest.truncate(second);
    return rest;
}

// Trims characters with codes up to 32 at both ends (not only white space:
// control characters such as NUL and ESC are dropped too).
QString trim_control(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QString handover_file_path(const QString &text)
{
    return trim_control(between_quotes(text));
}

PathAndMachine handover_path_and_machine(const QString &text)
{
    PathAndMachine result;
    result.path = between_quotes(text);
    const qsizetype open = text.indexOf(QLatin1Char('<'));
    if (open >= 0) {
        const qsizetype close = text.indexOf(QLatin1Char('>'), open + 1);
        result.machine = close < 0 ? text.mid(open + 1) : text.mid(open + 1, close - open - 1);
    }
    return result;
}

} // namespace dnc
