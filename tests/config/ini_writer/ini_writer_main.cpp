// Writes DNC.ini from a process of its own, for the configuration tests.
//
//   config_ini_writer hammer <ini> <section> <rounds>
//       For round 0..rounds-1, one update that sets every key of <section>
//       to the round number (see config_test_files.h for the layout).
//   config_ini_writer probe <ini>
//       One update that sets "Probe=1" in the global section, run as the
//       unprivileged user "nobody" when started by root. Prints the error
//       text and exits with 3 when the write is refused.
#include "../config_test_files.h"
#include "config/ini_file.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace
{

int hammer(const QString &path, const QString &section, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        QString error;
        const bool ok = dnc::IniFile::update(
            path,
            [&](dnc::IniFile &ini) {
                dnc::test::write_round(ini, section, round);
                return true;
            },
            &error);
        if (!ok) {
            std::printf("%s\n", error.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}

int probe(const QString &path)
{
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
        std::perror("setuid");
        return 2;
    }
    QString error;
    const bool ok = dnc::IniFile::update(
        path,
        [](dnc::IniFile &ini) {
            ini.write_string(QString::fromLatin1(dnc::kGlobalSection), QStringLiteral("Probe"),
                             QStringLiteral("1"));
            return true;
        },
        &error);
    std::printf("%s\n", error.toLocal8Bit().constData());
    return ok ? 0 : 3;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && std::strcmp(argv[1], "hammer") == 0)
        return hammer(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                      std::atoi(argv[4]));
    if (argc == 3 && std::strcmp(argv[1], "probe") == 0)
        return probe(QString::fromLocal8Bit(argv[2]));
    std::fprintf(stderr, "usage: %s hammer <ini> <section> <rounds> | probe <ini>\n", argv[0]);
    return 2;
}
