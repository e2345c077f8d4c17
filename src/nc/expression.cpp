#include "nc/expression.h"

#include <QVarLengthArray>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace dnc
{

namespace
{

// Token kinds; the codes are the columns of the action table. Code 9 (a cell
// reference) is never produced.
enum Token : std::uint8_t {
    TokPlus = 0,
    TokMinus = 1,
    TokTimes = 2,
    TokDivide = 3,
    TokExpo = 4,
    TokColon = 5,
    TokOParen = 6,
    TokCParen = 7,
    TokNum = 8,
    TokFunc = 10,
    TokEol = 11,
    TokBad = 12,
    TokenCount = 13,
};

enum class Func : std::uint8_t {
    Abs,
    Atan,
    Tan,
    Cotan,
    Cos,
    Exp,
    Ln,
    Round,
    Sin,
    Sqrt,
    Sqr,
    Trunc,
    Fix
};

struct FuncName {
    const char16_t *name;
    int length;
    Func func;
};

// Tried in this order; the first name the text begins with wins, so "SQRT"
// must come before "SQR".
constexpr FuncName kFunctions[] = {
    {u"ABS", 3, Func::Abs},     {u"ATAN", 4, Func::Atan},   {u"TAN", 3, Func::Tan},
    {u"COTAN", 5, Func::Cotan}, {u"COS", 3, Func::Cos},     {u"EXP", 3, Func::Exp},
    {u"LN", 2, Func::Ln},       {u"ROUND", 5, Func::Round}, {u"SIN", 3, Func::Sin},
    {u"SQRT", 4, Func::Sqrt},   {u"SQR", 3, Func::Sqr},     {u"TRUNC", 5, Func::Trunc},
    {u"FIX", 3, Func::Fix},
};

// One parse-stack entry. The function is kept as its kind rather than its
// name; cell rows and columns are not needed by an evaluator without cells.
struct TokenRec {
    std::uint8_t State;
    Func FuncName;
    double VALUE;
};

constexpr int kStackSize = 20;

// ---- the SLR(1) automaton of the grammar in expression.h ----
// Productions: 1 E->E+T  2 E->E-T  3 E->T  4 T->T*F  5 T->T/F  6 T->F
//              7 F->S^F  8 F->S  9 S->-U  10 S->U  11 U->num  12 U->(E)
//              13 U->func(E)
enum Nonterminal { NtE, NtT, NtF, NtS, NtU, NtCount };
constexpr int kStateCount = 26;
constexpr std::int8_t kAccept = 100;

struct Production {
    std::uint8_t lhs;
    std::uint8_t length;
};
constexpr Production kProductions[] = {
    {0, 0},   {NtE, 3}, {NtE, 3}, {NtE, 1}, {NtT, 3}, {NtT, 3}, {NtT, 1},
    {NtF, 3}, {NtF, 1}, {NtS, 2}, {NtS, 1}, {NtU, 1}, {NtU, 3}, {NtU, 4},
};

struct Tables {
    // > 0 shift to that state, < 0 reduce by that production, 0 error.
    std::array<std::array<std::int8_t, TokenCount>, kStateCount> action{};
    std::array<std::array<std::int8_t, NtCount>, kStateCount> go{};
};

constexpr Tables build_tables()
{
    Tables t{};
    // Where an operand can start: a unary minus, a number, "(" or a function.
    auto operand = [&t](int s) {
        t.action[s][TokMinus] = 5;
        t.action[s][TokNum] = 7;
        t.action[s][TokOParen] = 8;
        t.action[s][TokFunc] = 9;
    };
    // Follow sets of the nonterminals.
    constexpr Token follow_e[] = {TokEol, TokPlus, TokMinus, TokCParen};
    constexpr Token follow_t[] = {TokEol, TokPlus, TokMinus, TokCParen, TokTimes, TokDivide};
    constexpr Token follow_s[] = {TokEol,   TokPlus,   TokMinus, TokCParen,
                                  TokTimes, TokDivide, TokExpo};
    auto reduce_e = [&t, &follow_e](int s, int p) {
        for (Token k : follow_e)
            t.action[s][k] = std::int8_t(-p);
    };
    auto reduce_t = [&t, &follow_t](int s, int p) {
        for (Token k : follow_t)
            t.action[s][k] = std::int8_t(-p);
    };
    auto reduce_s = [&t, &follow_s](int s, int p) {
        for (Token k : follow_s)
            t.action[s][k] = std::int8_t(-p);
    };
    auto expression_start = [&](int s, int e_state) {
        operand(s);
        t.go[s] = {std::int8_t(e_state), 2, 3, 4, 6};
    };

    expression_start(0, 1);
    t.action[1][TokPlus] = 10; // E . + T
    t.action[1][TokMinus] = 11;
    t.action[1][TokEol] = kAccept;
    t.action[2][TokTimes] = 12; // E -> T . ; T . * F
    t.action[2][TokDivide] = 13;
    reduce_e(2, 3);
    reduce_t(3, 6);            // T -> F .
    t.action[4][TokExpo] = 14; // F -> S . ^ F ; F -> S .
    reduce_t(4, 8);
    t.action[5][TokNum] = 7; // S -> - . U
    t.action[5][TokOParen] = 8;
    t.action[5][TokFunc] = 9;
    t.go[5][NtU] = 15;
    reduce_s(6, 10);             // S -> U .
    reduce_s(7, 11);             // U -> num .
    expression_start(8, 16);     // U -> ( . E )
    t.action[9][TokOParen] = 17; // U -> func . ( E )
    operand(10);                 // E -> E + . T
    t.go[10] = {0, 18, 3, 4, 6};
    operand(11); // E -> E - . T
    t.go[11] = {0, 19, 3, 4, 6};
    operand(12); // T -> T * . F
    t.go[12] = {0, 0, 20, 4, 6};
    operand(13); // T -> T / . F
    t.go[13] = {0, 0, 21, 4, 6};
    operand(14); // F -> S ^ . F
    t.go[14] = {0, 0, 22, 4, 6};
    reduce_s(15, 9);              // S -> - U .
    t.action[16][TokCParen] = 23; // U -> ( E . )
    t.action[16][TokPlus] = 10;
    t.action[16][TokMinus] = 11;
    expression_start(17, 24); // U -> func ( . E )
    for (int s : {18, 19}) {  // E -> E +- T . ; T . * F
        t.action[s][TokTimes] = 12;
        t.action[s][TokDivide] = 13;
        reduce_e(s, s == 18 ? 1 : 2);
    }
    reduce_t(20, 4);              // T -> T * F .
    reduce_t(21, 5);              // T -> T / F .
    reduce_t(22, 7);              // F -> S ^ F .
    reduce_s(23, 12);             // U -> ( E ) .
    t.action[24][TokCParen] = 25; // U -> func ( E . )
    t.action[24][TokPlus] = 10;
    t.action[24][TokMinus] = 11;
    reduce_s(25, 13); // U -> func ( E ) .
    return t;
}

constexpr Tables kTables = build_tables();

// ---- tokens ----

struct Lexer {
    const char16_t *p;
    const char16_t *end;
    bool mul_div = false;
    bool math_error = false;
};

bool is_digit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// Order of magnitude of the decimal text `s` (digits, one optional ".",
// optional exponent): > 0 means the number is at least 1.
long magnitude(const char *s, const char *end)
{
    long integer_digits = 0;
    long fraction_zeros = 0;
    bool leading = true;
    bool point = false;
    bool fraction_nonzero = false;
    const char *p = s;
    for (; p < end && *p != 'E'; ++p) {
        if (*p == '.') {
            point = true;
        } else if (!point) {
            if (*p != '0')
                leading = false;
            if (!leading)
                ++integer_digits;
        } else if (!fraction_nonzero) {
            if (*p == '0')
                ++fraction_zeros;
            else
                fraction_nonzero = true;
        }
    }
    long exponent = 0;
    if (p < end) {
        const char *q = p + 1;
        const bool negative = q < end && *q == '-';
        if (q < end && (*q == '+' || *q == '-'))
            ++q;
        std::from_chars(q, end, exponent);
        if (negative)
            exponent = -exponent;
    }
    return (integer_digits > 0 ? integer_digits : -fraction_zeros) + exponent;
}

// Reads a number that starts at lex.p (a digit or "."): the longest run of
// digits with at most one ".", then an "E" with an optional sign and up to
// three digits.
double read_number(Lexer &lex)
{
    QVarLengthArray<char, 64> text;
    if (*lex.p == u'.')
        text.append('0');
    bool point = false;
    while (lex.p < lex.end && (is_digit(*lex.p) || (*lex.p == u'.' && !point))) {
        point = point || *lex.p == u'.';
        text.append(char(*lex.p++));
    }
    if (lex.p < lex.end && *lex.p == u'E') {
        text.append(char(*lex.p++));
        if (lex.p < lex.end && (*lex.p == u'+' || *lex.p == u'-'))
            text.append(char(*lex.p++));
        for (int k = 0; k < 3 && lex.p < lex.end && is_digit(*lex.p); ++k)
            text.append(char(*lex.p++));
    }
    const char *first = text.data();
    const char *last = first + text.size();
    double value = 0;
    const auto res = std::from_chars(first, last, value);
    if (res.ec == std::errc::result_out_of_range) {
        if (magnitude(first, last) > 0) {
            lex.math_error = true;
            return 0;
        }
        return 0; // too small for a double: zero
    }
    if (res.ec != std::errc() || res.ptr != last) {
        lex.math_error = true; // "1E" or "1E+": a number, but not a readable one
        return 0;
    }
    return value;
}

Token next_token(Lexer &lex, double &number, Func &func)
{
    if (lex.p >= lex.end)
        return TokEol;
    const char16_t c = *lex.p;
    if (is_digit(c) || c == u'.') {
        number = read_number(lex);
        return TokNum;
    }
    if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) {
        const auto left = lex.end - lex.p;
        for (const FuncName &f : kFunctions) {
            if (left < f.length)
                continue;
            bool match = true;
            for (int k = 0; k < f.length && match; ++k)
                match = lex.p[k] == f.name[k];
            if (match) {
                lex.p += f.length;
                func = f.func;
                return TokFunc;
            }
        }
        return TokBad;
    }
    ++lex.p;
    switch (c) {
    case u'+':
        return TokPlus;
    case u'-':
        return TokMinus;
    case u'*':
        lex.mul_div = true;
        return TokTimes;
    case u'/':
        lex.mul_div = true;
        return TokDivide;
    case u'^':
        return TokExpo;
    case u':':
        return TokColon;
    case u'(':
        return TokOParen;
    case u')':
        return TokCParen;
    default:
        return TokBad;
    }
}

// ---- arithmetic ----

double checked(Lexer &lex, double v)
{
    if (!std::isfinite(v)) {
        lex.math_error = true;
        return 0;
    }
    return v;
}

double fail(Lexer &lex)
{
    lex.math_error = true;
    return 0;
}

double round_half_even(double x)
{
    const double f = std::floor(x);
    const double diff = x - f;
    if (diff < 0.5)
        return f;
    if (diff > 0.5)
        return f + 1;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

double apply(Lexer &lex, Func f, double x)
{
    constexpr double kIntegerLimit = 1000000000.0;
    switch (f) {
    case Func::Abs:
        return std::fabs(x);
    case Func::Atan:
        return checked(lex, std::atan(x) * kEvalDegreesPerRadian);
    case Func::Tan:
        return checked(lex, std::tan(x / kEvalDegreesPerRadian));
    case Func::Cotan: {
        const double t = std::tan(x / kEvalDegreesPerRadian);
        return t == 0 ? fail(lex) : checked(lex, 1 / t);
    }
    case Func::Cos:
        return checked(lex, std::cos(x / kEvalDegreesPerRadian));
    case Func::Sin:
        return checked(lex, std::sin(x / kEvalDegreesPerRadian));
    case Func::Exp:
        return x < -88 || x > 88 ? fail(lex) : std::exp(x);
    case Func::Ln:
        return x <= 0 ? fail(lex) : std::log(x);
    case Func::Round:
        return x < -kIntegerLimit || x > kIntegerLimit ? fail(lex) : round_half_even(x);
    case Func::Trunc:
    case Func::Fix:
        return x < -kIntegerLimit || x > kIntegerLimit ? fail(lex) : std::trunc(x);
    case Func::Sqrt:
        return x < 0 ? fail(lex) : std::sqrt(x);
    case Func::Sqr:
        return x < -1e18 || x > 1e18 ? fail(lex) : x * x;
    }
    return 0;
}

// a ^ b for a > 0 while b * ln(a) stays within -88..88. The power itself is
// computed with pow(): e^(b*ln a) would make 2^3 read 7.999999999999998, and
// TRUNC(2^3) 7.
double power(Lexer &lex, double a, double b)
{
    if (a <= 0)
        return fail(lex);
    const double t = b * std::log(a);
    if (!(t >= -88 && t <= 88))
        return fail(lex);
    return checked(lex, std::pow(a, b));
}

double reduce_value(Lexer &lex, int production, const TokenRec *rhs)
{
    switch (production) {
    case 1:
        return checked(lex, rhs[0].VALUE + rhs[2].VALUE);
    case 2:
        return checked(lex, rhs[0].VALUE - rhs[2].VALUE);
    case 4:
        return checked(lex, rhs[0].VALUE * rhs[2].VALUE);
    case 5:
        return rhs[2].VALUE == 0 ? fail(lex) : checked(lex, rhs[0].VALUE / rhs[2].VALUE);
    case 7:
        return power(lex, rhs[0].VALUE, rhs[2].VALUE);
    case 9:
        return -rhs[1].VALUE;
    case 12:
        return rhs[1].VALUE;
    case 13:
        return apply(lex, rhs[0].FuncName, rhs[2].VALUE);
    default: // single-symbol productions pass the value on
        return rhs[0].VALUE;
    }
}

} // namespace

EvalResult evaluate(QStringView text) noexcept
{
    // Blanks are dropped and a decimal comma becomes a point before anything
    // else, so "1 2" is 12 and "2,5" is 2.5. Texts without either (nearly
    // all) are read in place.
    const char16_t *first = text.utf16();
    const char16_t *last = first + text.size();
    QVarLengthArray<char16_t, 128> input;
    if (std::any_of(first, last, [](char16_t c) { return c == u' ' || c == u','; })) {
        for (const char16_t *p = first; p < last; ++p) {
            if (*p != u' ')
                input.append(*p == u',' ? u'.' : *p);
        }
        first = input.data();
        last = first + input.size();
    }
    if (first == last)
        return {0, EvalEmpty};

    Lexer lex{first, last};
    TokenRec stack[kStackSize];
    int top = 0;
    stack[0].State = 0;

    double number = 0;
    Func func = Func::Abs;
    Token token = next_token(lex, number, func);
    for (;;) {
        const int action = kTables.action[stack[top].State][token];
        if (action == 0)
            return {0, EvalInvalid};
        if (action == kAccept)
            break;
        if (action > 0) {
            if (top + 1 >= kStackSize)
                return {0, EvalInvalid};
            TokenRec &rec = stack[++top];
            rec.State = std::uint8_t(action);
            rec.VALUE = token == TokNum ? number : 0;
            rec.FuncName = func;
            token = next_token(lex, number, func);
            continue;
        }
        const int production = -action;
        const Production &p = kProductions[production];
        const int first = top - p.length + 1;
        const double value = reduce_value(lex, production, &stack[first]);
        top = first - 1;
        TokenRec &rec = stack[++top];
        rec.State = std::uint8_t(kTables.go[stack[top - 1].State][p.lhs]);
        rec.VALUE = value;
    }

    int status = lex.mul_div ? EvalValidMulDiv : EvalValid;
    if (lex.math_error)
        return {0, status + EvalMathError};
    return {stack[top].VALUE, status};
}

double evaluate_value(QStringView text) noexcept
{
    return evaluate(text).value;
}

} // namespace dnc
