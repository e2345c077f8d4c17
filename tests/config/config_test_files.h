// Small helpers of the configuration tests: real files in a temporary
// folder, and the layout that concurrent writers of DNC.ini use.
#pragma once

#include "config/ini_file.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace dnc::test
{

inline void write_file(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

inline QByteArray read_file(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A concurrent writer sets every key of its own section to the number of
// its round, with a long tail so that the file spans several pages and a
// torn write could not go unnoticed.
inline constexpr int kRoundKeys = 40;

inline void write_round(IniFile &ini, const QString &section, int round)
{
    const QString tail(300, QLatin1Char('x'));
    for (int k = 0; k < kRoundKeys; ++k)
        ini.write_string(section, QStringLiteral("Key%1").arg(k),
                         QStringLiteral("%1:").arg(round) + tail);
}

// The round a section holds; -1 when the section is missing. Sets
// *consistent to false when its keys hold different rounds or a value that
// write_round() never writes.
inline int read_round(const IniFile &ini, const QString &section, bool *consistent)
{
    if (!ini.has_section(section))
        return -1;
    const QString tail(300, QLatin1Char('x'));
    int round = -1;
    for (int k = 0; k < kRoundKeys; ++k) {
        const QString value = ini.read_string(section, QStringLiteral("Key%1").arg(k));
        const qsizetype colon = value.indexOf(QLatin1Char(':'));
        bool ok = colon > 0 && value.mid(colon + 1) == tail;
        const int this_round = ok ? value.left(colon).toInt(&ok) : -1;
        if (!ok || (k > 0 && this_round != round))
            *consistent = false;
        round = this_round;
    }
    return round;
}

} // namespace dnc::test
