// Start-up cost of the configuration: reading a DNC.ini of 256 machines
// (every key of every machine stored) and loading every machine's settings,
// as the main window does at each start in multi-machine mode.
// Target: under 50 ms per start.
#include "config/app_settings.h"
#include "config/global_settings.h"
#include "config/ini_file.h"
#include "config/machine_list.h"
#include "config/settings_io.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    using namespace dnc;
    constexpr int kMachines = 256;
    constexpr int kStarts = 20;

    QTemporaryDir dir;
    const QString path = dnc_ini_path(dir.path());
    IniFile generated;
    generated.write_bool(QLatin1String(kGlobalSection), QStringLiteral("MultiServer"), true);
    for (int m = 0; m < kMachines; ++m) {
        MachineSettingsRecord record;
        load_machine_settings(IniFile(), QString(), dir.path(), record);
        record.comm_port = m % 255 + 1;
        record.DefaultReadDirectory = QStringLiteral("/nc/machine%1").arg(m);
        record.BeforeString = QStringLiteral("%");
        write_machine_settings(generated, QStringLiteral("Machine %1").arg(m), record, false);
    }
    QString error;
    if (!IniFile::update(
            path,
            [&](IniFile &ini) {
                ini = generated;
                return true;
            },
            &error)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(error));
        return 1;
    }

    using Clock = std::chrono::steady_clock;
    double best_ms = 1e9;
    double total_ms = 0;
    for (int start = 0; start < kStarts; ++start) {
        const auto begin = Clock::now();
        const IniFile ini(path);
        const GlobalSettings global = load_global_settings(ini);
        const AppSettings settings = load_app_settings(ini);
        const QStringList machines = reload_machine_list(ini);
        std::vector<std::unique_ptr<MachineSettingsRecord>> records;
        for (const QString &machine : machines) {
            records.push_back(std::make_unique<MachineSettingsRecord>());
            load_machine_settings(ini, machine, dir.path(), *records.back());
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
        if (records.size() != kMachines || !global.multi_server || settings.ip_port == 0) {
            std::fprintf(stderr, "loaded %zu machines\n", records.size());
            return 1;
        }
        best_ms = std::min(best_ms, ms);
        total_ms += ms;
    }
    std::printf("DNC.ini with %d machines: %lld bytes\n", kMachines,
                static_cast<long long>(QFileInfo(path).size()));
    std::printf("load every machine: %.2f ms per start (best %.2f ms, %d starts; target < 50 ms)\n",
                total_ms / kStarts, best_ms, kStarts);
    return 0;
}
