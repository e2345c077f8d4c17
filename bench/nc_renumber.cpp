// Renumbering a program of 1,000,000 lines. Target: under 1 s.
#include "nc/renumber.h"
#include "nc_timer.h"

#include <QStringList>
#include <cstdio>

namespace
{

QStringList make_program(int count)
{
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        switch (i % 8) {
        case 0:
            lines.append(
                QStringLiteral("N%1 G01 X%2.125 Y-%3.5 F200").arg(i).arg(i % 500).arg(i % 70));
            break;
        case 1:
            lines.append(QStringLiteral("X%1.25 Y%2.75").arg(i % 300).arg(i % 90));
            break;
        case 2:
            lines.append(QStringLiteral("N%1 T%2 M06 (DRILL %2)").arg(i).arg(i % 20));
            break;
        case 3:
            lines.append(QStringLiteral("(ROUGHING PASS)"));
            break;
        default:
            lines.append(QStringLiteral("G02X%1.5Y%2I-2.5J0").arg(i % 400).arg(i % 60));
            break;
        }
    }
    return lines;
}

void run(const char *name, const QStringList &program, const dnc::RenumberOptions &options)
{
    QStringList lines = program;
    const dnc::bench::SectionTimer timer;
    const dnc::RenumberOutcome outcome = dnc::renumber_lines(lines, options);
    const double wall = timer.wall_seconds();
    const double cpu = timer.cpu_seconds();
    std::printf("renumber %-24s %lld lines: %.3f s CPU, %.3f s wall; target < 1 s%s\n", name,
                static_cast<long long>(lines.size()), cpu, wall,
                outcome.renumbered ? "" : " [nothing renumbered]");
}

} // namespace

int main()
{
    const QStringList program = make_program(1000000);
    dnc::RenumberOptions options;
    options.StartCommentChar = QStringLiteral("(");
    options.EndCommentChar = QStringLiteral(")");
    run("default:", program, options);
    options.AddSpaces = true;
    options.IncludeComments = true;
    run("add spaces, comments:", program, options);
    return 0;
}
