#include "app/single_instance.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace dnc
{

namespace
{

// The name the lock has always had; the channel takes the same name.
const QString kLockName = QStringLiteral("DUREravurMutex");

} // namespace

QString instance_lock_path(const QString &runtime_folder)
{
    return QDir(runtime_folder).filePath(kLockName + QStringLiteral(".lock"));
}

QString instance_socket_path(const QString &runtime_folder)
{
    return QDir(runtime_folder).filePath(kLockName);
}

QString runtime_folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

SingleInstance::SingleInstance(QString runtime_folder) : runtime_folder_(std::move(runtime_folder))
{
}

SingleInstance::~SingleInstance() = default;

InstanceOutcome SingleInstance::claim_or_hand_over(const QString &first_argument)
{
    auto lock = std::make_unique<QLockFile>(instance_lock_path(runtime_folder_));
    // A running server holds the lock for hours; only a lock whose process
    // is gone counts as stale.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError)
            return hand_over(first_argument);
        return InstanceOutcome{InstanceRole::Unguarded,
                               QStringLiteral("Cannot create the instance lock %1")
                                   .arg(instance_lock_path(runtime_folder_))};
    }
    lock_ = std::move(lock);

    InstanceOutcome outcome;
    auto server = std::make_unique<InstanceServer>();
    QString error;
    if (server->listen(instance_socket_path(runtime_folder_), &error)) {
        server_ = std::move(server);
    } else {
        outcome.message = QStringLiteral("Cannot open the instance channel %1: %2")
                              .arg(instance_socket_path(runtime_folder_), error);
    }
    return outcome;
}

InstanceOutcome SingleInstance::hand_over(const QString &first_argument)
{
    InstanceClient client;
    if (!client.connect_to(instance_socket_path(runtime_folder_), kConnectTimeoutMs)) {
        return InstanceOutcome{
            InstanceRole::Unguarded,
            QStringLiteral("A server holds %1 but does not answer; starting anyway")
                .arg(instance_lock_path(runtime_folder_))};
    }
    QString error;
    const QFileInfo file(first_argument);
    if (!first_argument.isEmpty() && file.isFile() &&
        !client.ask(make_message(KindOpenFile, file.absoluteFilePath()), nullptr, kAnswerTimeoutMs,
                    &error)) {
        return InstanceOutcome{
            InstanceRole::HandOverFailed,
            QStringLiteral("The running server did not take the file: %1").arg(error)};
    }
    if (!client.ask(make_message(KindComeToFront, QString()), nullptr, kAnswerTimeoutMs, &error)) {
        return InstanceOutcome{InstanceRole::HandOverFailed,
                               QStringLiteral("The running server did not answer: %1").arg(error)};
    }
    return InstanceOutcome{InstanceRole::HandedOver, {}};
}

} // namespace dnc
