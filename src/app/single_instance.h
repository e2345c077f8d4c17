// One server per user session unless "MultiInstance" is set: a lock file in
// the user's runtime folder marks the running server, and its instance
// channel (instance_channel.h) takes what a second start hands over.
#pragma once

#include "app/instance_channel.h"

#include <QString>
#include <memory>

class QLockFile;

namespace dnc
{

// The lock and channel names in the runtime folder.
QString instance_lock_path(const QString &runtime_folder);
QString instance_socket_path(const QString &runtime_folder);

// The user's runtime folder ($XDG_RUNTIME_DIR).
QString runtime_folder();

enum class InstanceRole {
    First,          // this process holds the lock and listens on the channel
    HandedOver,     // a running server took over: exit 0 without a window
    HandOverFailed, // the running server accepted the connection but did not answer
    Unguarded,      // the lock is held but no server answers (still starting, or
                    // stopped answering): start as a full server without lock
};

struct InstanceOutcome {
    InstanceRole role = InstanceRole::First;
    QString message; // what went wrong, for the operator (may be set with First)
};

class SingleInstance
{
public:
    explicit SingleInstance(QString runtime_folder);
    ~SingleInstance();

    // Takes the lock and opens the channel, or, when another server holds
    // the lock, hands `first_argument` to it if it names an existing file
    // (made absolute: the running server has its own working folder) and asks
    // it to come to the front. A lock left by a server that no longer runs is
    // taken over.
    InstanceOutcome claim_or_hand_over(const QString &first_argument);

    // The channel while this process is the first; null otherwise.
    InstanceServer *server() const { return server_.get(); }

    // How long a second start waits for the running server.
    static constexpr int kConnectTimeoutMs = 2000;
    static constexpr int kAnswerTimeoutMs = 30000;

private:
    InstanceOutcome hand_over(const QString &first_argument);

    QString runtime_folder_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<InstanceServer> server_;
};

} // namespace dnc
