// The web remote: a plain-HTTP server that a phone app or another PC uses to
// watch the machines, browse the server's folders, view files and make a
// machine send, receive or reset.
//
// Threads: the object lives on the UI thread; start, stop and the setters
// are called there. Requests are served on the HTTP connection threads: each
// one takes a snapshot of the machines from the UI thread (see RemoteHost),
// handles the request against the session state, and queues whatever acts on
// a machine back to the UI thread, where the command timer and the
// machine-change timer (10 ms each) carry it out.
#pragma once

#include "config/app_settings.h"
#include "remote/bounded_http_server.h"
#include "remote/remote_host.h"
#include "remote/remote_request.h"

#include <QObject>
#include <QTimer>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace dnc
{

class RemoteServer : public QObject
{
    Q_OBJECT
public:
    explicit RemoteServer(RemoteHost &host, QObject *parent = nullptr);
    ~RemoteServer() override;

    // Stops a running server; then, unless `address_text` (the address shown
    // to the operator) is empty, listens on every interface at `port` (0:
    // any free port, see port()). A port that cannot be bound is reported
    // through the host's show_message and the remote stays off.
    bool start(const QString &address_text, int port = kDefaultRemotePort);
    void stop();
    bool is_active() const { return http_ != nullptr; }
    // The port listened on while active.
    int port() const { return port_; }

    // The interface to listen on: every interface unless set (tests use
    // "127.0.0.1"). Takes effect at the next start.
    void set_bind_address(const QString &address) { bind_address_ = address; }
    void set_limits(const HttpLimits &limits) { limits_ = limits; }
    // How long a request waits for the UI thread's snapshot before it is
    // answered "503 Service Unavailable".
    void set_ui_timeout(std::chrono::milliseconds timeout) { ui_timeout_ = timeout; }
    void set_environment(const RemoteEnvironment &env);

    // The folder the remote browses, e.g. the read folder after a machine
    // change; ignored when empty.
    void set_folder(const QString &path);
    RemoteSession session() const;

private:
    void serve(const httplib::Request &request, httplib::Response &response);
    std::optional<RemoteSnapshot> snapshot_from_ui();
    void apply(const std::vector<RemoteAction> &actions);
    void run_commands();
    void run_command(const RemoteAction &command);

    RemoteHost &host_;
    QTimer command_timer_;
    QTimer machine_change_timer_;
    std::deque<RemoteAction> pending_commands_; // UI thread

    QString bind_address_ = QStringLiteral("0.0.0.0");
    HttpLimits limits_;
    std::chrono::milliseconds ui_timeout_{5000};
    std::unique_ptr<BoundedHttpServer> http_;
    std::thread listener_;
    int port_ = 0;

    mutable std::mutex session_mutex_;
    RemoteSession session_;
    RemoteEnvironment env_;

    // Requests waiting for the UI thread's snapshot.
    std::mutex ui_mutex_;
    std::condition_variable ui_answered_;
    bool stopping_ = false; // guarded by ui_mutex_
};

} // namespace dnc
