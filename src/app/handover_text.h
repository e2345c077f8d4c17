// Text rules of the messages a running server receives from a second start
// or from another program (see instance_channel.h for the channel).
#pragma once

#include <QByteArray>
#include <QString>

namespace dnc
{

// The text carried by a message: `data` holds UTF-16 (little-endian) code
// units; the text is its first data.size() / 2 characters, ending early at
// the first NUL. A sender passes the text and its terminating NUL with a byte
// count of 2 x characters + 1, so the receiver keeps exactly the characters
// and the half-sent NUL is dropped.
QString copy_data_text(const QByteArray &data);

// The bytes a sender puts into a message for `text`: the text, then a NUL of
// which only the first byte is counted (2 x characters + 1 bytes).
QByteArray copy_data_bytes(const QString &text);

// A file handed over to open (kind 3): if the text holds a double quote,
// everything up to and including the first one is dropped and everything from
// the next one on; then leading and trailing characters up to code 32 are
// trimmed.
QString handover_file_path(const QString &text);

struct PathAndMachine {
    QString path;    // between the first two double quotes (whole text without quotes)
    QString machine; // after the first "<" up to the next ">"; empty without "<"
};

// A file for a named machine (kind 4), e.g. "\"/nc/O1000.nc\" <Mill 2>": the
// path by the same quote rule as kind 3 but not trimmed, the machine name
// from the angle brackets.
PathAndMachine handover_path_and_machine(const QString &text);

} // namespace dnc
