// Arbitrary bytes as DNC.ini: every reader of the configuration layer must
// take them without trouble, and writing the document back is stable
// (reading what was written and writing it again gives the same bytes).
#include "config/app_settings.h"
#include "config/directory_shortcuts.h"
#include "config/global_settings.h"
#include "config/ini_file.h"
#include "config/machine_list.h"
#include "config/settings_io.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace dnc;
    const IniFile ini =
        IniFile::from_bytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));

    for (const QString &section : ini.section_names()) {
        for (const QString &key : ini.keys(section)) {
            if (!ini.has_key(section, key))
                std::abort();
            ini.read_int(section, key, 0);
            ini.read_bool(section, key, false);
        }
    }
    load_global_settings(ini);
    load_app_settings(ini);
    read_directory_shortcuts(ini);
    const QStringList machines = reload_machine_list(ini);
    if (machines.isEmpty())
        std::abort();
    for (const QString &machine : machines.mid(0, 4)) {
        MachineSettingsRecord record;
        load_machine_settings(ini, machine, QStringLiteral("/data/"), record);
    }

    const QByteArray once = ini.to_bytes();
    if (IniFile::from_bytes(once).to_bytes() != once)
        std::abort();
    return 0;
}
