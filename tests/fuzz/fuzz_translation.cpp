// Arbitrary bytes as a character translation file: every line either sets
// one pair or is reported once, and a reported line changes nothing.
#include "comm/tape_code.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace dnc;
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    trans_array out{}, in{};
    const TranslationLoad load = parse_translation_text(text, QStringLiteral("fuzz.txt"), out, in);
    const qsizetype lines = text.count('\n') + 1;
    if (load.pairs < 0 || load.pairs + load.problems.size() > lines)
        std::abort();
    if (load.pairs == 0) {
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (out[i] != 0 || in[i] != 0)
                std::abort();
        }
    }
    // Loading the same text again changes nothing more.
    trans_array out2 = out, in2 = in;
    parse_translation_text(text, QStringLiteral("fuzz.txt"), out2, in2);
    if (out2 != out || in2 != in)
        std::abort();
    return 0;
}
