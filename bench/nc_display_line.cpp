// Colouring 1,000,000 lines with DisplayLine. Target: under 0.5 s.
#include "nc/syntax_highlight.h"
#include "nc_timer.h"

#include <QStringList>
#include <cstdio>

int main()
{
    QStringList lines;
    lines.reserve(1000000);
    for (int i = 0; i < 1000000; ++i) {
        lines.append(i % 10 == 0
                         ? QStringLiteral("N%1 T%2 M06 (CHANGE TO DRILL %2)").arg(i).arg(i % 20)
                         : QStringLiteral("N%1 G01 X%2.125 Y-%3.5 Z-1. F200")
                               .arg(i)
                               .arg(i % 500)
                               .arg(i % 70));
    }
    dnc::HighlightSettings settings;
    settings.Address = {"X", "Y", "Z", "F", "T"};
    settings.Color = {"clRed", "clBlue", "clLime", "clFuchsia", "clAqua"};
    settings.CommentColor = "clYellow";
    settings.UseColorHighlight = true;
    const dnc::HighlightRules rules = dnc::build_highlight_rules(settings);
    dnc::DisplayState state;
    state.UseColorHighlight = true;

    qsizetype characters = 0;
    const dnc::bench::SectionTimer timer;
    for (const QString &line : lines)
        characters += dnc::DisplayLine(rules, state, line)->size();
    const double wall = timer.wall_seconds();
    const double cpu = timer.cpu_seconds();
    std::printf("DisplayLine: %lld lines (%lld characters): %.3f s CPU, %.3f s wall; "
                "target < 0.5 s\n",
                static_cast<long long>(lines.size()), static_cast<long long>(characters), cpu,
                wall);
    return 0;
}
