// The arithmetic evaluator for numbers that operators and NC programs write:
// "12.5", "1.5*2", "2,5", "SQRT(16)", "(1+2)*3".
//
// Grammar, lowest precedence first:
//   E: T | E "+" T | E "-" T          (left-associative)
//   T: F | T "*" F | T "/" F          (left-associative)
//   F: S | S "^" F                    (right-associative: 2^3^2 = 2^9)
//   S: U | "-" U                      (one unary minus where an operand starts;
//                                      it binds tighter than "^": -2^2 = (-2)^2)
//   U: number | "(" E ")" | function "(" E ")"
// Blanks are ignored, "," is read as a decimal point, a number may carry an
// exponent with an upper-case "E" (1E3). Function names are upper case:
// ABS ATAN TAN COTAN COS EXP LN ROUND SIN SQRT SQR TRUNC FIX; angles are in
// degrees. The parse stack holds at most 20 entries, so a number inside 17
// nested pairs of parentheses still evaluates and inside 18 does not.
//
// Pure and re-entrant: every call keeps its stack and flags to itself and
// allocates nothing for texts of ordinary length.
#pragma once

#include <QStringView>

namespace dnc
{

enum EvalStatus : int {
    EvalInvalid = 0,     // syntax error, unknown name, stack full
    EvalValid = 1,       // valid
    EvalValidMulDiv = 2, // valid, and the text holds "*" or "/"
    EvalMathError = 4,   // added to 1 or 2: a mathematical error occurred
    EvalEmpty = 9,       // the text is empty (or only blanks)
};

struct EvalResult {
    double value = 0; // 0 whenever the status is not 1 or 2
    int status = EvalInvalid;

    // True for statuses 1 and 2: a value that can be used.
    bool ok() const { return status == EvalValid || status == EvalValidMulDiv; }
};

// Evaluates `text`; failures are reported in the status, never raised.
EvalResult evaluate(QStringView text) noexcept;

// The value alone: 0 for any failure.
double evaluate_value(QStringView text) noexcept;

// Degrees per radian as the evaluator uses it (so SIN(30) is
// 0.49999999999986, not exactly 0.5).
inline constexpr double kEvalDegreesPerRadian = 57.2957795131;

} // namespace dnc
