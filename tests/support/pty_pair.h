// Pseudo-terminals for tests that drive a real serial line: the server opens
// the slave side as its device (/dev/pts/N, or a symlink to it named in the
// port map), the test plays the machine tool on the master side.
//
// A pty is always 8 data bits without parity and has no modem lines (no
// CTS, DTR, RTS); TIOCOUTQ on it stays 0. Tests that need pacing read the
// machine side with a MachineReader at a baud rate.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace dnc::test
{

class PtyPair
{
public:
    // Opens a raw pair. The slave stays open here too, as a cable stays
    // plugged in: the server may close and reopen its end without hanging
    // up the line.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return master_ >= 0; }
    // The device name the server opens.
    QString slave_path() const { return slave_path_; }
    // The machine's end (non-blocking); -1 after close_master().
    int master_fd() const { return master_; }

    // The machine sends bytes; waits while the pty is full. False when the
    // line is gone or nothing could be written for `timeout_ms`.
    bool send(const QByteArray &bytes, int timeout_ms = 5000);
    // Whatever arrives at the machine within `ms`.
    QByteArray read_for(int ms);
    // Reads until `count` bytes arrived or `timeout_ms` passed.
    QByteArray read_exactly(qsizetype count, int timeout_ms);

    // The device goes away (the master side closes: the server's end hangs
    // up).
    void close_master();

private:
    int master_ = -1;
    int slave_ = -1;
    QString slave_path_;
};

// Reads a machine's end of a line on its own thread, like a UART that takes
// `baud` bits per second (10 bits per character), or as fast as it can with
// baud 0. Holding bytes back makes the server's writes wait, as on a real
// line.
class MachineReader
{
public:
    MachineReader(int fd, int baud = 0);
    ~MachineReader();
    MachineReader(const MachineReader &) = delete;
    MachineReader &operator=(const MachineReader &) = delete;

    void set_baud(int baud);
    QByteArray received() const;
    qsizetype received_size() const;
    // Waits until at least `count` bytes arrived; false on time-out.
    bool wait_for(qsizetype count, int timeout_ms) const;
    // Stops reading (the destructor does it too).
    void stop();

private:
    void run();

    int fd_;
    std::atomic<int> baud_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    QByteArray data_;
    std::thread thread_;
};

} // namespace dnc::test
