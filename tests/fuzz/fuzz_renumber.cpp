// Fuzzes renumbering and the line searches of the subprogram and LOOP
// expansion over a program of any bytes.
#include "nc/renumber.h"
#include "nc/subprogram.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    dnc::RenumberOptions options;
    options.RenumberStart = int(data[0]) * 8 - 200;
    options.RenumberIncrement = int(data[1]) - 20;
    options.ExistingOnly = data[2] & 1;
    options.AddSpaces = data[2] & 2;
    options.IncludeComments = data[2] & 4;
    static const char *const kDelimiters[][2] = {
        {"(", ")"}, {"(", ""}, {"", ""}, {";", ""}, {"(*", "*)"}};
    const auto &delimiters = kDelimiters[data[3] % 5];
    options.StartCommentChar = QString::fromLatin1(delimiters[0]);
    options.EndCommentChar = QString::fromLatin1(delimiters[1]);

    const QString text =
        QString::fromLatin1(reinterpret_cast<const char *>(data + 4), qsizetype(size - 4));
    const QStringList original = text.split(u'\n');
    QStringList lines = original;
    dnc::renumber_lines(lines, options);
    if (lines.size() != original.size())
        std::abort();

    for (const QString &line : original) {
        dnc::parse_loop_marker(line);
        dnc::classify_subprogram_line(line);
        dnc::subprogram_file_line(line);
    }
    const int number = int(data[0]) - 100;
    const int found = dnc::find_block(original, number, data[1] % 4, data[2] & 8);
    if (found != dnc::kBlockNotFound && (found < 1 || found > original.size()))
        std::abort();
    const int sub = dnc::find_subprogram_in_program(original, number);
    if (sub != dnc::kBlockNotFound && (sub < 1 || sub > original.size()))
        std::abort();
    return 0;
}
