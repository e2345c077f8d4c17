// Calls per second of the expression evaluator on the numbers NC words
// typically carry. Target: at least 5 million calls per second.
#include "nc/expression.h"
#include "nc_timer.h"

#include <QString>
#include <cstdio>
#include <vector>

int main()
{
    const std::vector<QString> texts = {"12.5", "-0.25", "100",     "0.001", "1.5*2",
                                        "2,5",  "1+2",   "(1+2)*3", "-2.75", "SQRT(16)"};
    constexpr int kRounds = 1000000;
    double sink = 0;
    const dnc::bench::SectionTimer timer;
    for (int round = 0; round < kRounds; ++round) {
        for (const QString &t : texts)
            sink += dnc::evaluate(t).value;
    }
    const double wall = timer.wall_seconds();
    const double cpu = timer.cpu_seconds();
    const double calls = double(kRounds) * double(texts.size());
    std::printf("evaluate: %.0f calls: %.2f million calls/s CPU (%.3f s), %.2f million/s wall "
                "(%.3f s); target >= 5 million/s\n",
                calls, calls / cpu / 1e6, cpu, calls / wall / 1e6, wall);
    std::printf("(checksum %.1f)\n", sink);
    return 0;
}
