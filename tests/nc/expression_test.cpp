#include "nc/expression.h"

#include "german_locale.h"

#include <QString>
#include <cmath>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

struct ExprCase {
    const char *text;
    double value;
    int status;
};

QString nested(int depth, const char *inner)
{
    return QString(depth, u'(') + QLatin1String(inner) + QString(depth, u')');
}

class EvaluateTable : public ::testing::TestWithParam<ExprCase>
{
};

TEST_P(EvaluateTable, ValueAndStatus)
{
    const ExprCase &c = GetParam();
    const EvalResult r = evaluate(QString::fromLatin1(c.text));
    EXPECT_EQ(r.status, c.status) << c.text;
    EXPECT_NEAR(r.value, c.value, 1e-9 * std::max(1.0, std::fabs(c.value))) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, EvaluateTable,
    ::testing::Values(
        // precedence and associativity
        ExprCase{"1+2*3", 7, 2}, ExprCase{"(1+2)*3", 9, 2}, ExprCase{"2-3-4", -5, 1},
        ExprCase{"8/4/2", 1, 2}, ExprCase{"2^3^2", 512, 1}, ExprCase{"2^-1", 0.5, 1},
        ExprCase{"10/4", 2.5, 2},
        // unary minus: once, where an operand starts, tighter than ^
        ExprCase{"3--2", 5, 1}, ExprCase{"3*-2", -6, 2}, ExprCase{"-(-2)", 2, 1},
        ExprCase{"-2^2", 0, 5}, ExprCase{"--2", 0, 0}, ExprCase{"+5", 0, 0},
        ExprCase{"2*-3^2", 0, 6},
        // numbers
        ExprCase{"12.5", 12.5, 1}, ExprCase{"-0.25", -0.25, 1}, ExprCase{".5", 0.5, 1},
        ExprCase{"5.", 5, 1}, ExprCase{"2,5", 2.5, 1}, ExprCase{"1 + 2", 3, 1},
        ExprCase{"1 2", 12, 1}, ExprCase{"1E3", 1000, 1}, ExprCase{"1E-3", 0.001, 1},
        ExprCase{"1E+3", 1000, 1}, ExprCase{"1E", 0, 5}, ExprCase{"1E+", 0, 5},
        ExprCase{"1E1234", 0, 0}, ExprCase{"1E999", 0, 5}, ExprCase{"1E-999", 0, 1},
        ExprCase{"1..2", 0, 0}, ExprCase{"1e3", 0, 0},
        // functions, in degrees
        ExprCase{"SQRT(16)", 4, 1}, ExprCase{"SQR(3)", 9, 1}, ExprCase{"ABS(-2)", 2, 1},
        ExprCase{"ATAN(1)", 45, 1}, ExprCase{"COS(60)", 0.5, 1}, ExprCase{"COTAN(45)", 1, 1},
        ExprCase{"TAN(45)", 1, 1}, ExprCase{"EXP(0)", 1, 1}, ExprCase{"LN(1)", 0, 1},
        ExprCase{"ROUND(2.5)", 2, 1}, ExprCase{"ROUND(3.5)", 4, 1}, ExprCase{"ROUND(-2.5)", -2, 1},
        ExprCase{"ROUND(2.6)", 3, 1}, ExprCase{"TRUNC(-2.7)", -2, 1}, ExprCase{"FIX(2.7)", 2, 1},
        ExprCase{"TRUNC(2^3)", 8, 1}, ExprCase{"SQRT(SQRT(16))", 2, 1},
        // syntax errors
        ExprCase{"2*(3", 0, 0}, ExprCase{"1+2)", 0, 0}, ExprCase{"1:2", 0, 0}, ExprCase{"X", 0, 0},
        ExprCase{"abs(1)", 0, 0}, ExprCase{"SQRT16", 0, 0}, ExprCase{"ABSX(1)", 0, 0},
        ExprCase{"SIN()", 0, 0}, ExprCase{"()", 0, 0}, ExprCase{"-", 0, 0}, ExprCase{"1+", 0, 0},
        ExprCase{"\t1", 0, 0}, ExprCase{"[1+2]", 0, 0},
        // mathematical errors: value 0, status + 4
        ExprCase{"", 0, 9}, ExprCase{"   ", 0, 9}, ExprCase{"1/0", 0, 6}, ExprCase{"LN(0)", 0, 5},
        ExprCase{"SQRT(-1)", 0, 5}, ExprCase{"EXP(89)", 0, 5}, ExprCase{"EXP(-89)", 0, 5},
        ExprCase{"0^2", 0, 5}, ExprCase{"10^100", 0, 5}, ExprCase{"COTAN(0)", 0, 5},
        ExprCase{"ROUND(2E9)", 0, 5}, ExprCase{"TRUNC(-2E9)", 0, 5}, ExprCase{"SQR(2E18)", 0, 5},
        ExprCase{"1E300*1E300", 0, 6}, ExprCase{"1/0+2*(3", 0, 0}));

TEST(Evaluate, SineUsesTheShortConversionConstant)
{
    const EvalResult r = evaluate(u"SIN(30)");
    EXPECT_EQ(r.status, EvalValid);
    EXPECT_DOUBLE_EQ(r.value, std::sin(30 / 57.2957795131));
    EXPECT_NE(r.value, 0.5);
    EXPECT_NEAR(r.value, 0.49999999999986, 1e-13);
}

TEST(Evaluate, StackHoldsTwentyEntries)
{
    struct DepthCase {
        int depth;
        const char *inner;
        int status;
    };
    const DepthCase cases[] = {{17, "5", EvalValid},     {18, "5", EvalInvalid},
                               {21, "5", EvalInvalid},   {17, "-5", EvalValid},
                               {18, "-5", EvalInvalid},  {16, "1+2", EvalValid},
                               {17, "1+2", EvalInvalid}, {200, "5", EvalInvalid}};
    for (const DepthCase &c : cases) {
        const EvalResult r = evaluate(nested(c.depth, c.inner));
        EXPECT_EQ(r.status, c.status) << c.depth << " around " << c.inner;
    }
    EXPECT_EQ(evaluate(nested(17, "5")).value, 5);
}

TEST(Evaluate, ValueOnlyFormIsZeroOnAnyFailure)
{
    EXPECT_EQ(evaluate_value(u"1.5*2"), 3);
    EXPECT_EQ(evaluate_value(u"1/0"), 0);
    EXPECT_EQ(evaluate_value(u"X"), 0);
    EXPECT_EQ(evaluate_value(u""), 0);
}

TEST(Evaluate, HostileInputNeverCrashes)
{
    const QString long_number = QString(100000, u'9');
    EXPECT_EQ(evaluate(long_number).status, EvalValid + EvalMathError);
    EXPECT_EQ(evaluate(QString(100000, u'(')).status, EvalInvalid);
    EXPECT_EQ(evaluate(QString(100000, u'-')).status, EvalInvalid);
    EXPECT_EQ(evaluate(QString(100000, u' ')).status, EvalEmpty);
    QString power_chain = QStringLiteral("2");
    for (int i = 0; i < 1000; ++i)
        power_chain += QStringLiteral("^2");
    EXPECT_EQ(evaluate(power_chain).status, EvalInvalid);
    QString binary;
    for (int c = 0; c < 0x3000; c += 7)
        binary += QChar(char16_t(c));
    EXPECT_EQ(evaluate(binary).status, EvalInvalid);
    const QString tiny = QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1");
    EXPECT_EQ(evaluate(tiny).status, EvalValid);
}

using EvaluateGerman = test::GermanLocale;

TEST_F(EvaluateGerman, PointAndCommaReadTheSameWhateverTheLocale)
{
    EXPECT_EQ(evaluate(u"12.5").value, 12.5);
    EXPECT_EQ(evaluate(u"12,5").value, 12.5);
    EXPECT_EQ(evaluate(u"1.5E2").value, 150);
    EXPECT_EQ(evaluate(u"1.000").value, 1); // no thousands separator
}

} // namespace
} // namespace dnc
