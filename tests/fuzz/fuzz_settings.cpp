// Arbitrary bytes as a machine's section: the settings loaded from them,
// once stored by the settings writer, load and store again to the very same
// section. A difference would mean that saving the settings dialog without
// touching anything changes the machine's settings.
#include "config/ini_file.h"
#include "config/machine_list.h"
#include "config/settings_io.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace dnc;
    const IniFile source =
        IniFile::from_bytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const QString machine = reload_machine_list(source).first();
    const QString stored = QStringLiteral("Mill");
    const QString folder = QStringLiteral("/data/");

    MachineSettingsRecord loaded;
    load_machine_settings(source, machine, folder, loaded);
    IniFile first;
    write_machine_settings(first, stored, loaded, true);

    MachineSettingsRecord reloaded;
    load_machine_settings(IniFile::from_bytes(first.to_bytes()), stored, folder, reloaded);
    IniFile second;
    write_machine_settings(second, stored, reloaded, true);

    if (first.to_bytes() != second.to_bytes())
        std::abort();
    return 0;
}
