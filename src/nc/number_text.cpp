#include "nc/number_text.h"

#include <QVarLengthArray>
#include <charconv>
#include <cmath>

namespace dnc
{

namespace
{

// A finite value as significant decimal digits: value = 0.d1d2...dn x 10^point,
// i.e. the decimal point sits after `point` digits. No digits means zero.
struct Decimal {
    bool negative = false;
    char digits[32] = {};
    int count = 0;
    int point = 0;
};

void drop_trailing_zeros(Decimal &d)
{
    while (d.count > 0 && d.digits[d.count - 1] == '0')
        --d.count;
}

// The shortest decimal text that reads back as `value` (at most 17 digits).
Decimal decompose(double value)
{
    Decimal d;
    d.negative = std::signbit(value);
    if (value == 0)
        return d;
    char buf[48];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    const char *p = buf;
    if (*p == '-')
        ++p;
    for (; p < res.ptr && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9')
            d.digits[d.count++] = *p;
    }
    int exponent = 0;
    if (p < res.ptr)
        std::from_chars(p[1] == '+' ? p + 2 : p + 1, res.ptr, exponent);
    d.point = exponent + 1;
    drop_trailing_zeros(d);
    return d;
}

// Keeps the first `keep` digits, rounding half away from zero.
void round_to_digits(Decimal &d, int keep)
{
    if (keep >= d.count)
        return;
    if (keep < 0) {
        d.count = 0;
        return;
    }
    const bool up = d.digits[keep] >= '5';
    d.count = keep;
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == '9')
            --i;
        if (i < 0) {
            d.digits[0] = '1';
            d.count = 1;
            d.point += 1;
        } else {
            ++d.digits[i];
            d.count = i + 1;
        }
    }
    drop_trailing_zeros(d);
}

void round_to_decimals(Decimal &d, int decimals)
{
    if (d.count > 0)
        round_to_digits(d, d.point + decimals);
}

void append_zeros(QString &out, int n)
{
    for (int i = 0; i < n; ++i)
        out += QLatin1Char('0');
}

// Plain decimal notation; the fraction is left out when it is empty.
// Returns whether a fraction was written.
bool append_plain(QString &out, const Decimal &d)
{
    if (d.count == 0) {
        out += QLatin1Char('0');
        return false;
    }
    if (d.negative)
        out += QLatin1Char('-');
    if (d.point <= 0) {
        out += QLatin1Char('0');
    } else {
        const int int_digits = std::min(d.point, d.count);
        out += QLatin1StringView(d.digits, int_digits);
        append_zeros(out, d.point - int_digits);
    }
    if (d.point >= d.count)
        return false;
    out += QLatin1Char('.');
    if (d.point < 0) {
        append_zeros(out, -d.point);
        out += QLatin1StringView(d.digits, d.count);
    } else {
        out += QLatin1StringView(d.digits + d.point, d.count - d.point);
    }
    return true;
}

QString general_text(Decimal d)
{
    round_to_digits(d, 15);
    QString out;
    out.reserve(24);
    if (!append_plain(out, d))
        out += QLatin1Char('.');
    return out;
}

} // namespace

QString format_number_4(double value)
{
    if (!std::isfinite(value))
        return {};
    Decimal d = decompose(value);
    round_to_decimals(d, 4);
    QString out;
    out.reserve(24);
    if (!append_plain(out, d))
        out += QLatin1String(".0");
    return out;
}

QString general_form(double value)
{
    if (!std::isfinite(value))
        return {};
    return general_text(decompose(value));
}

QString general_form_rounded_4(double value)
{
    if (!std::isfinite(value))
        return {};
    Decimal d = decompose(value);
    round_to_decimals(d, 4);
    return general_text(d);
}

QString fixed_implied_form(double value, int decimals)
{
    if (!std::isfinite(value))
        return {};
    Decimal d = decompose(value);
    round_to_decimals(d, decimals);
    if (d.count == 0)
        return QStringLiteral("0");
    QString out;
    if (d.negative)
        out += QLatin1Char('-');
    out += QLatin1StringView(d.digits, d.count);
    append_zeros(out, d.point + decimals - d.count);
    return out;
}

std::optional<double> parse_plain_decimal(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    QVarLengthArray<char, 64> buf;
    buf.append('0'); // so that ".5" reads as 0.5
    bool point = false;
    bool digit = false;
    bool nonzero_integer = false;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') {
            digit = true;
            if (!point && c != u'0')
                nonzero_integer = true;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
        buf.append(char(c));
    }
    if (!digit)
        return std::nullopt;
    double value = 0;
    const auto res = std::from_chars(buf.data(), buf.data() + buf.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        if (nonzero_integer)
            return std::nullopt;
        value = 0; // a fraction too small for a double
    } else if (res.ec != std::errc() || res.ptr != buf.data() + buf.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

} // namespace dnc
