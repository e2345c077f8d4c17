#include "remote/remote_server.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace dnc
{

namespace
{

constexpr int kTimerInterval = 10; // ms
const char *const kContentType = "text/plain; charset=utf-8";

RemoteParams params_of(const httplib::Request &request)
{
    RemoteParams params;
    for (const auto &[name, value] : request.params)
        params.add(name, value);
    return params;
}

bool expects_body(const httplib::Request &request)
{
    return request.has_header("Content-Length") || request.has_header("Transfer-Encoding") ||
           request.method == "POST" || request.method == "PUT" || request.method == "PATCH";
}

} // namespace

RemoteServer::RemoteServer(RemoteHost &host, QObject *parent) : QObject(parent), host_(host)
{
    command_timer_.setSingleShot(true);
    command_timer_.setInterval(kTimerInterval);
    machine_change_timer_.setSingleShot(true);
    machine_change_timer_.setInterval(kTimerInterval);
    connect(&command_timer_, &QTimer::timeout, this, &RemoteServer::run_commands);
    connect(&machine_change_timer_, &QTimer::timeout, this, [this] { host_.change_machine(); });
}

RemoteServer::~RemoteServer()
{
    stop();
}

bool RemoteServer::start(const QString &address_text, int port)
{
    stop();
    if (address_text.isEmpty())
        return false;

    auto http = std::make_unique<BoundedHttpServer>(limits_);
    http->set_tcp_nodelay(true);
    // SO_REUSEADDR lets a restarted server take its port back at once; unlike
    // httplib's default it leaves out SO_REUSEPORT, with which a second
    // server (or another program) could bind the same port and silently
    // take part of the requests.
    http->set_socket_options([](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    http->set_payload_max_length(64 * 1024);
    // Every path, every method without a body: served before httplib's
    // routing. Form posts come through the POST route once their body is read.
    http->set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        if (expects_body(req))
            return httplib::Server::HandlerResponse::Unhandled;
        serve(req, res);
        return httplib::Server::HandlerResponse::Handled;
    });
    http->Post("[\\s\\S]*",
               [this](const httplib::Request &req, httplib::Response &res) { serve(req, res); });
    http->set_exception_handler(
        [](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
            res.status = 500;
            res.set_content("Internal error", kContentType);
        });

    bool bound = false;
    int error = EINVAL;
    if (port >= 0 && port <= 65535) {
        errno = 0;
        bound = http->bind(bind_address_.toStdString(), port);
        error = errno;
    }
    if (!bound) {
        QString text = QStringLiteral("Could not bind socket");
        if (error != 0)
            text += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
        host_.show_message(QString(),
                           QStringLiteral("DNC Remote\r\n") + text +
                               QStringLiteral("\r\nBad IP Address or already in use"),
                           0);
        return false;
    }
    port_ = http->bound_port();
    http_ = std::move(http);
    auto finished = std::make_shared<std::atomic<bool>>(false);
    listener_ = std::thread([server = http_.get(), finished] {
        server->listen_after_bind();
        *finished = true;
    });
    // httplib ignores a stop() that comes before its accept loop runs: wait
    // (briefly) until it does.
    while (!http_->is_running() && !*finished)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void RemoteServer::stop()
{
    if (!http_)
        return;
    {
        std::lock_guard lock(ui_mutex_);
        stopping_ = true;
    }
    ui_answered_.notify_all();
    http_->stop();
    http_->drop_connections();
    if (listener_.joinable())
        listener_.join();
    http_.reset();
    port_ = 0;
    std::lock_guard lock(ui_mutex_);
    stopping_ = false;
}

void RemoteServer::set_environment(const RemoteEnvironment &env)
{
    std::lock_guard lock(session_mutex_);
    env_ = env;
}

void RemoteServer::set_folder(const QString &path)
{
    if (path.isEmpty())
        return;
    std::lock_guard lock(session_mutex_);
    session_.set_folder(remote_local_path(path));
}

RemoteSession RemoteServer::session() const
{
    std::lock_guard lock(session_mutex_);
    return session_;
}

void RemoteServer::serve(const httplib::Request &request, httplib::Response &response)
{
    const std::optional<RemoteSnapshot> snapshot = snapshot_from_ui();
    if (!snapshot) {
        response.status = 503;
        response.set_content("Server busy", kContentType);
        return;
    }
    const RemoteParams params = params_of(request);
    RemoteOutcome outcome;
    {
        std::lock_guard lock(session_mutex_);
        outcome = handle_remote_request(params, *snapshot, session_, env_);
        // Queued while the session is locked, so the UI thread carries out
        // the actions of successive requests in the order they were handled.
        if (!outcome.actions.empty()) {
            QMetaObject::invokeMethod(
                this, [this, actions = std::move(outcome.actions)] { apply(actions); },
                Qt::QueuedConnection);
        }
    }
    response.set_content(outcome.reply.constData(), static_cast<size_t>(outcome.reply.size()),
                         kContentType);
}

std::optional<RemoteSnapshot> RemoteServer::snapshot_from_ui()
{
    struct Call {
        bool done = false;
        RemoteSnapshot snapshot;
    };
    auto call = std::make_shared<Call>();
    QMetaObject::invokeMethod(
        this,
        [this, call] {
            RemoteSnapshot snapshot = host_.remote_snapshot();
            {
                std::lock_guard lock(ui_mutex_);
                call->snapshot = std::move(snapshot);
                call->done = true;
            }
            ui_answered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(ui_mutex_);
    ui_answered_.wait_for(lock, ui_timeout_, [&] { return call->done || stopping_; });
    if (!call->done)
        return std::nullopt;
    return std::move(call->snapshot);
}

void RemoteServer::apply(const std::vector<RemoteAction> &actions)
{
    for (const RemoteAction &action : actions) {
        switch (action.kind) {
        case RemoteAction::SelectMachine:
            host_.select_machine(action.index);
            machine_change_timer_.start();
            break;
        case RemoteAction::Note:
            host_.note(action.index, action.text);
            break;
        case RemoteAction::ReadyNote:
            host_.show_ready_note(action.index);
            break;
        case RemoteAction::Command:
            pending_commands_.push_back(action);
            command_timer_.start();
            break;
        }
    }
}

void RemoteServer::run_commands()
{
    while (!pending_commands_.empty()) {
        const RemoteAction command = pending_commands_.front();
        pending_commands_.pop_front();
        // A machine named by the same request changes first, so that the
        // command runs with that machine's settings.
        if (machine_change_timer_.isActive()) {
            machine_change_timer_.stop();
            host_.change_machine();
        }
        run_command(command);
    }
    std::lock_guard lock(session_mutex_);
    session_.pending_command = RemoteOther;
}

void RemoteServer::run_command(const RemoteAction &command)
{
    const int record = command.index;
    std::atomic<bool> &remote_command_active = host_.remote_command_active();
    remote_command_active = false;
    switch (command.command) {
    case RemoteReset:
        remote_command_active = true;
        host_.change_machine();
        host_.clear(record);
        host_.set_and_display_filename(record, QString());
        remote_command_active = false;
        break;
    case RemoteReceive:
        // A send that started since the request was answered keeps its line.
        if (host_.is_sending(record))
            break;
        remote_command_active = true;
        host_.set_global_filename(record, command.text);
        host_.clear(record);
        host_.receive(record);
        host_.set_and_display_filename(record, command.text);
        break;
    case RemoteSend: {
        if (host_.is_sending(record))
            break;
        remote_command_active = true;
        host_.set_global_filename(record, command.text);
        const RemoteSnapshot snapshot = host_.remote_snapshot();
        const bool binary = record < static_cast<int>(snapshot.records.size()) &&
                            snapshot.records[record].file_type == 1;
        if (binary)
            host_.binary_send(record);
        else if (host_.load_editor_file(record, command.text))
            host_.send(record);
        else
            remote_command_active = false; // nothing started: nothing may save under the name
        break;
    }
    default:
        break;
    }
}

} // namespace dnc
