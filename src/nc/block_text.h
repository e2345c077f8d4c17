// Character classes and small searches shared by the NC block operations,
// renumbering and the subprogram helpers.
#pragma once

#include <QString>
#include <QStringView>
#include <initializer_list>

namespace dnc
{

// Characters that make up the number of a word: tab, "*", "+", "-", ".",
// "/" and the digits. A run of them may hold a sign, a point and simple
// arithmetic (X1.5*2).
inline bool is_number_char(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || u == u'\t' || u == u'*' || u == u'+' || u == u'-' ||
           u == u'.' || u == u'/';
}

// Length of the run of number characters that starts at `from`.
inline qsizetype number_run(QStringView text, qsizetype from)
{
    qsizetype i = from;
    while (i < text.size() && is_number_char(text[i]))
        ++i;
    return i - from;
}

// Leading and trailing characters with codes up to 32 removed (controls and
// blanks, nothing else: no Unicode white-space rules).
inline QStringView trim_control(QStringView text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text[b].unicode() <= 32)
        ++b;
    while (e > b && text[e - 1].unicode() <= 32)
        --e;
    return text.sliced(b, e - b);
}

inline QStringView trim_control_left(QStringView text)
{
    qsizetype b = 0;
    while (b < text.size() && text[b].unicode() <= 32)
        ++b;
    return text.sliced(b);
}

// "a" to "z" made upper case; every other character kept as it is.
inline QString ascii_upper(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        out[i] = QChar(c >= u'a' && c <= u'z' ? char16_t(c - 32) : c);
    }
    return out;
}

// Position of the first occurrence of `what` (exact letter case), or -1. An
// empty `what` is never found.
inline qsizetype find_text(QStringView text, QStringView what)
{
    return what.isEmpty() ? -1 : text.indexOf(what);
}

// The parts joined into one text.
inline QString concat(std::initializer_list<QStringView> parts)
{
    qsizetype size = 0;
    for (QStringView p : parts)
        size += p.size();
    QString out;
    out.reserve(size);
    for (QStringView p : parts)
        out += p;
    return out;
}

// Removes every blank (space).
inline QString without_blanks(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c != u' ')
            out += c;
    }
    return out;
}

} // namespace dnc
