// Tape codes: how the editor's text becomes bytes on a machine's line and
// back. A machine reads plain ASCII (format 1), ISO (format 3: ASCII with
// even parity on bit 7) or "Other" (format 2: a code defined by a character
// translation file, for EIA and other special tapes).
//
// Text becomes bytes as byte = character code (Latin-1); a character above
// 255 travels as its low byte. No byte is ever replaced by "?".
#pragma once

#include "config/machine_settings_record.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace dnc
{

// True for the 7-bit codes whose binary form has an odd number of one bits
// (1, 2, 4, 7, 8, 11, 13, 14, ...): ISO sends them with bit 7 set, so every
// byte on the line has even parity.
bool in_iso_parity_set(int code);

// Converts text for sending. Format 3: characters of the ISO parity set get
// 128 added. Format 2: every character becomes trans_chars_out at the index
// of its low byte. Other formats: unchanged.
QString convert_text_for_sending(const MachineSettingsRecord &record, const QString &text,
                                 int format);

// The byte that goes on the line for one byte written with the machine's
// tape code (the "write byte" conversion).
std::uint8_t convert_byte_for_sending(const MachineSettingsRecord &record, std::uint8_t byte);

// Text as bytes for the line: each character's low byte.
QByteArray text_to_line_bytes(const QString &text);

// The "write text" conversion: the text converted with the machine's tape
// code, as bytes for the line.
QByteArray line_bytes_for_sending(const MachineSettingsRecord &record, const QString &text);

// One received byte in the machine's tape code as the character the server
// keeps, or -1 when the byte is dropped: CR, ISO's CR with parity (0x8D),
// and the characters of translated_strip_chars_string. ISO removes the
// parity bit of bytes above 128 (128 itself stays); "Other" goes through
// trans_chars_in. NUL and ESC are left to the receive handler.
int convert_received_byte(const MachineSettingsRecord &record, std::uint8_t byte);

// The end of block sent after each line. EOB_type 0 CR LF, 1 LF CR CR, 2 LF,
// 3 CR, other values nothing; format "Other" always uses LF; formats other
// than 1, 2 and 3 send nothing.
QString end_of_block_string(const MachineSettingsRecord &record);

// Control strings (leader, trailer, strip characters): "<13>" or "<$0D>"
// stands for the character with that code (0..65535); any other character
// stands for itself. With conversion, plain characters go through the
// tape code first (format 2: trans_chars_out; format 3: a character above
// 0x20AC gets 128 added); escaped characters never do.
//
// A malformed escape ("<>", "<abc>", "<70000>") is left out of the result;
// a "<" without a closing ">" stands for itself. Each such problem is
// described in *problems (when given), naming the escape.
QString translate_control_string(const MachineSettingsRecord &record, const QString &text,
                                 bool skip_conversion, QStringList *problems = nullptr);

// The bytes for a leader or trailer: every character converted with the
// tape code exactly once (escapes included), as write_text would send it.
QByteArray control_string_bytes(const MachineSettingsRecord &record, const QString &text,
                                QStringList *problems = nullptr);

struct TranslationLoad {
    bool file_found = false;
    int pairs = 0;        // lines that set a pair
    QStringList problems; // one per malformed line: file, line number, text
};

// Reads translation pairs from the text of a translation file into the two
// tables: for each line "a,b" (decimal, or hexadecimal after "$"; ";"
// starts a comment), out[a] = b and in[b] = a. Entries not named keep their
// content. A malformed line is described in the result and skipped; the
// rest still loads. `source` names the file in the problem texts.
TranslationLoad parse_translation_text(const QByteArray &text, const QString &source,
                                       trans_array &out, trans_array &in);

// Loads the file at `path` into the record's translation tables. A missing
// file leaves the tables as they are (file_found false).
TranslationLoad load_translation_file(MachineSettingsRecord &record, const QString &path);

} // namespace dnc
