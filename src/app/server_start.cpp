#include "app/server_start.h"

#include "app/command_line.h"
#include "app/headless_server.h"
#include "app/headless_workspace.h"
#include "app/install_paths.h"
#include "app/single_instance.h"
#include "app/stop_signals.h"
#include "config/global_settings.h"
#include "config/ini_file.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <optional>

namespace dnc
{

namespace
{

void print_to(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int run_server(QCoreApplication &app)
{
    QCoreApplication::setApplicationName(QStringLiteral("Norvex Server"));
    QCoreApplication::setApplicationVersion(version_string());

    const OwnOptions own = split_own_options(app.arguments().mid(1));
    if (!own.error.isEmpty()) {
        print_to(stderr, QStringLiteral("dncserver: %1\n\n%2").arg(own.error, usage_text()));
        return kExitUsage;
    }
    if (own.help) {
        print_to(stdout, usage_text());
        return 0;
    }
    if (own.version) {
        print_to(stdout, QStringLiteral("Norvex Server %1\n").arg(version_string()));
        return 0;
    }

    const QString data_folder = determine_user_data_folder(own.data_dir);
    if (!own.data_dir.isEmpty() && !QFileInfo(data_folder).isDir()) {
        print_to(stderr,
                 QStringLiteral("dncserver: the data folder %1 does not exist\n").arg(data_folder));
        return kExitUsage;
    }

    // Only one server per user session unless DNC.ini allows more. A second
    // start hands its file to the running server and ends.
    std::optional<SingleInstance> instance;
    if (!load_global_settings(IniFile(dnc_ini_path(data_folder))).multi_instance) {
        instance.emplace(runtime_folder());
        const InstanceOutcome outcome = instance->claim_or_hand_over(own.remaining.value(0));
        if (!outcome.message.isEmpty())
            print_to(stderr, QStringLiteral("dncserver: %1\n").arg(outcome.message));
        if (outcome.role == InstanceRole::HandedOver)
            return 0;
        if (outcome.role == InstanceRole::HandOverFailed)
            return kExitFailure;
    }

    if (!own.headless) {
        print_to(stderr, QStringLiteral("dncserver: the desktop window is not built yet; running "
                                        "headless (use --headless to start without a window)\n"));
    }

    const CommandLine command_line = parse_command_line(
        own.remaining, [](const QString &path) { return QFileInfo::exists(path); });

    HeadlessWorkspace workspace;
    HeadlessServer server(data_folder, command_line, &workspace);
    if (InstanceServer *channel = instance ? instance->server() : nullptr) {
        channel->set_machine_name_source([&server] { return server.current_machine_name(); });
        QObject::connect(channel, &InstanceServer::file_to_open, &server,
                         &HeadlessServer::open_handed_over_file);
        QObject::connect(channel, &InstanceServer::file_for_machine, &server,
                         &HeadlessServer::open_file_for_machine);
    }

    StopSignals stop_signals;
    QObject::connect(&stop_signals, &StopSignals::stop_requested, &server, [&server] {
        server.stop();
        QCoreApplication::exit(0);
    });

    server.start();
    return app.exec();
}

} // namespace dnc
