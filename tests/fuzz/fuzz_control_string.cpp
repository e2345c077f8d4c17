// Arbitrary text as a leader, trailer or strip-character string: control
// strings must translate without trouble in every tape code, never grow,
// and keep text without escapes as it is.
#include "comm/tape_code.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace dnc;
    if (size < 1)
        return 0;
    MachineSettingsRecord record;
    record.punch_format = 1 + data[0] % 3;
    for (int i = 0; i < 256; ++i)
        record.trans_chars_out[std::size_t(i)] = std::uint8_t(i ^ 0x5A);
    const bool skip = data[0] & 0x80;
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    QStringList problems;
    const QString translated = translate_control_string(record, text, skip, &problems);
    if (translated.size() > text.size())
        std::abort();
    if (skip && !text.contains(u'<') && translated != text)
        std::abort();
    for (const QString &problem : problems) {
        if (problem.isEmpty())
            std::abort();
    }
    const QByteArray bytes = control_string_bytes(record, text);
    if (bytes.size() != translate_control_string(record, text, true).size())
        std::abort();
    return 0;
}
