#include "app/instance_channel.h"

#include "app/handover_text.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QtEndian>

namespace dnc
{

ChannelMessage make_message(quint32 kind, const QString &text)
{
    return ChannelMessage{kind, copy_data_bytes(text)};
}

QByteArray encode_frame(const ChannelMessage &message)
{
    QByteArray frame(8, '\0');
    qToLittleEndian<quint32>(message.kind, frame.data());
    qToLittleEndian<quint32>(quint32(message.data.size()), frame.data() + 4);
    frame.append(message.data);
    return frame;
}

void FrameReader::append(const QByteArray &bytes)
{
    if (!failed_)
        buffer_.append(bytes);
}

bool FrameReader::next(ChannelMessage *message)
{
    if (failed_ || buffer_.size() < 8)
        return false;
    const quint32 size = qFromLittleEndian<quint32>(buffer_.constData() + 4);
    if (size > kMaxFrameBytes) {
        failed_ = true;
        buffer_.clear();
        return false;
    }
    if (buffer_.size() < 8 + qsizetype(size))
        return false;
    message->kind = qFromLittleEndian<quint32>(buffer_.constData());
    message->data = buffer_.mid(8, size);
    buffer_.remove(0, 8 + size);
    return true;
}

InstanceServer::InstanceServer(QObject *parent) : QObject(parent), server_(new QLocalServer(this))
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::accept_connections);
}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::listen(const QString &socket_path, QString *error)
{
    QLocalServer::removeServer(socket_path);
    if (server_->listen(socket_path))
        return true;
    if (error)
        *error = server_->errorString();
    return false;
}

void InstanceServer::set_machine_name_source(std::function<QString()> source)
{
    machine_name_source_ = std::move(source);
}

void InstanceServer::accept_connections()
{
    while (QLocalSocket *socket = server_->nextPendingConnection()) {
        auto reader = std::make_shared<FrameReader>();
        connect(socket, &QLocalSocket::readyRead, this,
                [this, socket, reader] { read_from(socket, reader.get()); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void InstanceServer::read_from(QLocalSocket *socket, FrameReader *reader)
{
    reader->append(socket->readAll());
    ChannelMessage request;
    while (reader->next(&request))
        socket->write(encode_frame(handle(request)));
    if (reader->failed())
        socket->abort();
}

ChannelMessage InstanceServer::handle(const ChannelMessage &request)
{
    const QString text = copy_data_text(request.data);
    switch (request.kind) {
    case KindMachineNameQuery:
        return make_message(request.kind,
                            machine_name_source_ ? machine_name_source_() : QString());
    case KindComeToFront:
        emit come_to_front();
        break;
    case KindOpenFile:
        emit file_to_open(handover_file_path(text));
        break;
    case KindOpenFileForMachine: {
        const PathAndMachine target = handover_path_and_machine(text);
        emit file_for_machine(target.path, target.machine);
        break;
    }
    default:
        break;
    }
    return ChannelMessage{request.kind, {}};
}

InstanceClient::InstanceClient() : socket_(std::make_unique<QLocalSocket>()) {}

InstanceClient::~InstanceClient() = default;

bool InstanceClient::connect_to(const QString &socket_path, int timeout_ms)
{
    constexpr int kRetryMs = 50;
    const QDeadlineTimer deadline(timeout_ms);
    for (;;) {
        socket_->connectToServer(socket_path);
        if (socket_->waitForConnected(int(qMax<qint64>(deadline.remainingTime(), 0))))
            return true;
        socket_->abort();
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kRetryMs);
    }
}

bool InstanceClient::ask(const ChannelMessage &request, ChannelMessage *answer, int timeout_ms,
                         QString *error)
{
    const QDeadlineTimer deadline(timeout_ms);
    socket_->write(encode_frame(request));
    while (socket_->bytesToWrite() > 0) {
        if (!socket_->waitForBytesWritten(int(qMax<qint64>(deadline.remainingTime(), 0)))) {
            if (error)
                *error = socket_->errorString();
            return false;
        }
    }
    ChannelMessage received;
    while (!reader_.next(&received)) {
        if (reader_.failed() ||
            !socket_->waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 0)))) {
            if (error) {
                *error = reader_.failed() ? QStringLiteral("the answer is not a channel frame")
                                          : socket_->errorString();
            }
            return false;
        }
        reader_.append(socket_->readAll());
    }
    if (answer)
        *answer = received;
    return true;
}

} // namespace dnc
