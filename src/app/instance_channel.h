// The local channel between a running server and a second start (or another
// program on the same desktop): a Unix-domain socket in the user's runtime
// folder.
//
// Every message, in either direction, is one frame:
//   kind        4 bytes, little-endian
//   byte count  4 bytes, little-endian (at most kMaxFrameBytes)
//   text        that many bytes of UTF-16LE, see copy_data_text()
// The client sends a request; the server handles it and answers with one
// frame of the same kind: the current machine's name for kind 1, an empty
// text for every other kind (sent after the request was handled, so a
// client that waits for the answer knows the file is loaded).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace dnc
{

enum HandoverKind : quint32 {
    KindMachineNameQuery = 1,   // answered with the current machine's name
    KindComeToFront = 2,        // restore and raise the window
    KindOpenFile = 3,           // text: a file to open in the current machine's editor
    KindOpenFileForMachine = 4, // text: "\"path\" <machine>"
};

inline constexpr quint32 kMaxFrameBytes = 1 << 16;

struct ChannelMessage {
    quint32 kind = 0;
    QByteArray data; // UTF-16LE text as sent
};

// A message for `text`, counted as 2 x characters + 1 bytes.
ChannelMessage make_message(quint32 kind, const QString &text);

QByteArray encode_frame(const ChannelMessage &message);

// Collects bytes from a stream and cuts them into frames.
class FrameReader
{
public:
    void append(const QByteArray &bytes);
    // Takes the next complete frame; false when none is complete yet.
    bool next(ChannelMessage *message);
    // A frame announced more than kMaxFrameBytes: the stream is not ours.
    bool failed() const { return failed_; }

private:
    QByteArray buffer_;
    bool failed_ = false;
};

// The running server's side. Handlers of the signals run before the answer
// is sent: connect them directly (the default within one thread).
class InstanceServer : public QObject
{
    Q_OBJECT
public:
    explicit InstanceServer(QObject *parent = nullptr);
    ~InstanceServer() override;

    // Listens at `socket_path`, first removing a socket file a crashed server
    // left behind (call only while holding the instance lock).
    bool listen(const QString &socket_path, QString *error);

    // Supplies the answer to a machine-name query.
    void set_machine_name_source(std::function<QString()> source);

signals:
    void file_to_open(const QString &path);
    void file_for_machine(const QString &path, const QString &machine);
    void come_to_front();

private:
    void accept_connections();
    void read_from(QLocalSocket *socket, FrameReader *reader);
    ChannelMessage handle(const ChannelMessage &request);

    QLocalServer *server_ = nullptr;
    std::function<QString()> machine_name_source_;
};

// The second start's side: blocking calls, used before any event loop runs.
class InstanceClient
{
public:
    InstanceClient();
    ~InstanceClient();

    // Connects to the server at `socket_path`, trying again until
    // `timeout_ms` has passed (a server that holds the lock may still be
    // starting). False when nobody answers.
    bool connect_to(const QString &socket_path, int timeout_ms);

    // Sends a request and waits for its answer.
    bool ask(const ChannelMessage &request, ChannelMessage *answer, int timeout_ms, QString *error);

private:
    std::unique_ptr<QLocalSocket> socket_;
    FrameReader reader_;
};

} // namespace dnc
