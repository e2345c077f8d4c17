#include "comm/tape_code.h"

#include <QFile>
#include <bit>
#include <optional>

namespace dnc
{

namespace
{

// A number as written in control strings and translation files: decimal, or
// hexadecimal after a leading "$". Blanks around it are allowed.
std::optional<long> parse_code(QStringView text)
{
    text = text.trimmed();
    int base = 10;
    if (text.startsWith(u'$')) {
        base = 16;
        text = text.mid(1);
    }
    if (text.isEmpty() || text.size() > 8)
        return std::nullopt;
    long value = 0;
    for (QChar c : text) {
        const int digit = c.isDigit() ? c.unicode() - '0'
                          : (base == 16 && c.toLower() >= u'a' && c.toLower() <= u'f')
                              ? c.toLower().unicode() - 'a' + 10
                              : -1;
        if (digit < 0 || (base == 10 && digit > 9))
            return std::nullopt;
        value = value * base + digit;
    }
    return value;
}

bool is_blank_or_control(QChar c)
{
    return c.unicode() <= 32 || c.unicode() == 127;
}

} // namespace

bool in_iso_parity_set(int code)
{
    return code >= 0 && code < 128 && (std::popcount(unsigned(code)) % 2) == 1;
}

QString convert_text_for_sending(const MachineSettingsRecord &record, const QString &text,
                                 int format)
{
    if (format != PunchIso && format != PunchOther)
        return text;
    QString out = text;
    for (QChar &c : out) {
        const char16_t code = c.unicode();
        if (format == PunchIso) {
            if (in_iso_parity_set(code))
                c = QChar(char16_t(code + 128));
        } else {
            c = QChar(char16_t(record.trans_chars_out[code & 0xFF]));
        }
    }
    return out;
}

std::uint8_t convert_byte_for_sending(const MachineSettingsRecord &record, std::uint8_t byte)
{
    switch (record.punch_format) {
    case PunchOther:
        return record.trans_chars_out[byte];
    case PunchIso:
        return in_iso_parity_set(byte) ? std::uint8_t(byte + 128) : byte;
    default:
        return byte;
    }
}

QByteArray text_to_line_bytes(const QString &text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        bytes[i] = char(text[i].unicode() & 0xFF);
    return bytes;
}

QByteArray line_bytes_for_sending(const MachineSettingsRecord &record, const QString &text)
{
    return text_to_line_bytes(convert_text_for_sending(record, text, record.punch_format));
}

int convert_received_byte(const MachineSettingsRecord &record, std::uint8_t byte)
{
    if (byte == 13)
        return -1;
    int code = byte;
    if (record.punch_format == PunchOther) {
        code = record.trans_chars_in[byte];
    } else if (record.punch_format == PunchIso) {
        if (byte == 0x8D)
            return -1;
        if (byte > 128)
            code = byte - 128;
    }
    if (record.translated_strip_chars_string.contains(QChar(char16_t(code))))
        return -1;
    return code;
}

QString end_of_block_string(const MachineSettingsRecord &record)
{
    switch (record.punch_format) {
    case PunchOther:
        return QStringLiteral("\n");
    case PunchAscii:
    case PunchIso:
        switch (record.EOB_type) {
        case EobCrLf:
            return QStringLiteral("\r\n");
        case EobLfCrCr:
            return QStringLiteral("\n\r\r");
        case EobLf:
            return QStringLiteral("\n");
        case EobCr:
            return QStringLiteral("\r");
        default:
            return {};
        }
    default:
        return {};
    }
}

QString translate_control_string(const MachineSettingsRecord &record, const QString &text,
                                 bool skip_conversion, QStringList *problems)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == u'<') {
            const qsizetype close = text.indexOf(u'>', i + 1);
            if (close >= 0) {
                const auto escape = QStringView(text).mid(i, close - i + 1);
                const auto code = parse_code(escape.mid(1, escape.size() - 2));
                if (code && *code >= 0 && *code <= 0xFFFF) {
                    out.append(QChar(char16_t(*code)));
                } else if (problems) {
                    problems->append(
                        QStringLiteral("\"%1\" is not a character code (0 to 65535 or $0 to $FFFF)")
                            .arg(escape));
                }
                i = close + 1;
                continue;
            }
            if (problems)
                problems->append(QStringLiteral("\"<\" without \">\" sent as it is"));
        }
        char16_t code = c.unicode();
        if (!skip_conversion) {
            if (record.punch_format == PunchOther)
                code = record.trans_chars_out[code & 0xFF];
            else if (record.punch_format == PunchIso && code > 0x20AC)
                code = char16_t(code + 128);
        }
        out.append(QChar(code));
        ++i;
    }
    return out;
}

QByteArray control_string_bytes(const MachineSettingsRecord &record, const QString &text,
                                QStringList *problems)
{
    return line_bytes_for_sending(record, translate_control_string(record, text, true, problems));
}

TranslationLoad parse_translation_text(const QByteArray &text, const QString &source,
                                       trans_array &out, trans_array &in)
{
    TranslationLoad result;
    result.file_found = true;
    // The file's bytes are read as Latin-1: only digits, "$", "," and ";"
    // mean anything, and no byte is ever undecodable.
    const QString all = QString::fromLatin1(text);
    int line_number = 0;
    for (QStringView line : QStringView(all).split(u'\n')) {
        ++line_number;
        const QStringView original = line;
        const qsizetype comment = line.indexOf(u';');
        if (comment >= 0)
            line = line.left(comment);
        while (!line.isEmpty() && is_blank_or_control(line.front()))
            line = line.mid(1);
        while (!line.isEmpty() && is_blank_or_control(line.back()))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const qsizetype comma = line.indexOf(u',');
        std::optional<long> a, b;
        if (comma >= 0 && line.indexOf(u',', comma + 1) < 0) {
            a = parse_code(line.left(comma));
            b = parse_code(line.mid(comma + 1));
        }
        if (!a || !b || *a < 0 || *a > 255 || *b < 0 || *b > 255) {
            QString shown = original.trimmed().toString();
            if (shown.size() > 60)
                shown = shown.left(60) + QStringLiteral("...");
            result.problems.append(
                QStringLiteral("%1, line %2: \"%3\" is not a pair of codes 0..255 such as 65,193")
                    .arg(source)
                    .arg(line_number)
                    .arg(shown));
            continue;
        }
        out[std::size_t(*a)] = std::uint8_t(*b);
        in[std::size_t(*b)] = std::uint8_t(*a);
        ++result.pairs;
    }
    return result;
}

TranslationLoad load_translation_file(MachineSettingsRecord &record, const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return parse_translation_text(file.readAll(), path, record.trans_chars_out,
                                  record.trans_chars_in);
}

} // namespace dnc
