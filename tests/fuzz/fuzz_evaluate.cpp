// Fuzzes the expression evaluator: any text must give one of the defined
// statuses, a finite value, and 0 whenever the status is not a valid one.
#include "nc/expression.h"

#include <QString>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace
{

void check(QStringView text)
{
    const dnc::EvalResult r = dnc::evaluate(text);
    switch (r.status) {
    case dnc::EvalValid:
    case dnc::EvalValidMulDiv:
        if (!std::isfinite(r.value))
            std::abort();
        break;
    case dnc::EvalInvalid:
    case dnc::EvalValid + dnc::EvalMathError:
    case dnc::EvalValidMulDiv + dnc::EvalMathError:
    case dnc::EvalEmpty:
        if (r.value != 0)
            std::abort();
        break;
    default:
        std::abort();
    }
    if (dnc::evaluate_value(text) != r.value)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // As bytes (the way a serial line delivers them) and as UTF-16 units.
    check(QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size)));
    check(QStringView(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2)));
    return 0;
}
