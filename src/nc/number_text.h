// Numbers written into and read from NC words.
//
// Every number here is written and read with "." as the decimal separator,
// whatever the computer's regional settings: the text goes to a machine
// control, not to a person. Rounding works on the shortest decimal text of a
// value (the digits a person would have typed), so 1.00005 rounds to 1.0001
// and not to the 1.0000 that its binary neighbour would give.
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace dnc
{

// The value rounded to 4 decimals, trailing zeros removed, at least one
// decimal kept: 100 -> "100.0", 12.34567 -> "12.3457", 0 -> "0.0". A value
// that rounds to zero has no minus sign. A value that is not finite gives an
// empty text (callers leave the line alone instead of writing it).
QString format_number_4(double value);

// The general form: up to 15 significant digits, trailing zeros removed, a
// "." appended when the text has none: 2.5 -> "2.5", 3 -> "3.", -10 -> "-10.".
// Values too small or too large for 15 digits are written in plain decimal
// too (0.0000001, 1000000000000000000.): an exponent such as "1E-7" would
// reach the control as a separate E word. Not finite: empty text.
QString general_form(double value);

// The general form of the value after rounding it to 4 decimals.
QString general_form_rounded_4(double value);

// The fixed-implied form: the value rounded to `decimals` (0 to 4) and
// written without a decimal point: 1.5 with 3 decimals -> "1500", -0.25 ->
// "-250", 12.6 with 0 decimals -> "13". Not finite: empty text.
QString fixed_implied_form(double value, int decimals);

// Reads a plain decimal number: an optional sign, digits with at most one
// ".", at least one digit, nothing else (no blanks, no arithmetic). Returns
// nothing for any other text, or when the number is out of range.
std::optional<double> parse_plain_decimal(QStringView text);

} // namespace dnc
