// Fuzzes the NC word and block operations and the line colouring on one
// line: nothing may crash, and the results keep their basic shape.
#include "nc/nc_word.h"
#include "nc/syntax_highlight.h"

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{

void require(bool ok)
{
    if (!ok)
        std::abort();
}

double number_from(const std::uint8_t *data)
{
    std::int16_t raw;
    std::memcpy(&raw, data, sizeof raw);
    return raw / 8.0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace dnc::ncword;
    if (size < 6)
        return 0;
    // Header: an address (one or two letters), a value, a number format.
    const QString address =
        QString::fromLatin1(reinterpret_cast<const char *>(data), 1 + data[1] % 2);
    const double value = number_from(data + 2);
    const int format = data[4] * 4 - 2;
    const QString line =
        QString::fromLatin1(reinterpret_cast<const char *>(data + 5), qsizetype(size - 5));

    const QString comment = GetComment(line);
    require(comment.isEmpty() || line.contains(comment));
    require(StripComment(line).size() + comment.size() == line.size());
    require(StripSpaces(line).size() <= line.size());
    AddSpaces(line);
    GetValue(address, line);
    HasAddress(address, line);
    ReplaceValue(address, value, line);
    ChangeV(address, value, value + 1, format, line);
    Offset(address, value, line);
    Scale(address, value, line);
    require(Remove(address, line).size() <= line.size());
    Rotate(value, line);
    require(FormatNumber(value).contains(u'.'));

    dnc::HighlightSettings settings;
    settings.Address = {address, QStringLiteral("X"), QStringLiteral("G1"), QString(),
                        QStringLiteral("(")};
    settings.Color = {QStringLiteral("clRed"), QStringLiteral("clBlue"), QString(), QString(),
                      QString()};
    settings.CommentColor = QStringLiteral("clAqua");
    dnc::DisplayState state;
    state.UseColorHighlight = true;
    state.editor_bold = data[0] & 1;
    const auto highlight = dnc::DisplayLine(dnc::build_highlight_rules(settings), state, line);
    require(highlight && highlight->size() == line.size());
    for (QChar code : *highlight)
        require(code.unicode() <= 717);
    return 0;
}
