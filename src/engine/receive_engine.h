// Receiving on one machine: the receive handler that turns the bytes from
// the machine's line into program lines, the line handler that puts them
// into the editor (or a direct file), and the end-of-program rules.
//
// What a byte does (after the tape code's receive conversion, which drops
// CR and the strip characters):
//   NUL, ESC          dropped
//   LF                ends a line: the end string (EndOnString), the "$NAME%"
//                     file name on the first line, the reset marker (auto-
//                     serve), the line handler, the auto-save marker within
//                     the first ten lines
//   ETX, EOT          end the program with EndChar34, otherwise dropped
//   DC1 / DC3         the machine's XON / XOFF (never stored)
//   DC2               note "Receiving Data"
//   DC4               ends the program with EndChar20 (never stored)
//   "%"               stored; the second one ends the program with
//                     EndSecondPercent
// Lines that start with "///" never reach the editor; with StripBlankLines
// lines are trimmed and empty ones dropped. The end of a program passes a
// line still in the buffer to the line handler and, while a receive runs
// (receiving_flag), starts the machine's 1 ms finish timer so that the
// finish runs on the UI thread. With AfterReceiveTimer the idle timer ends
// the program when no line came for AutoReceiveSeconds.
//
// Threads: received() runs on the line's event thread; the rest on the UI
// thread. The lines of one chunk go to the editor together
// (Workspace::memo_add_lines) before anything that depends on them (the
// finish, a send started by DC1, a reset) and at the end of the chunk; the
// idle timer is restarted once per chunk. No lock is held while the editor,
// a script or the UI thread is called.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <mutex>

namespace dnc
{

class Machine;
struct MachineSettingsRecord;

// Folders that receiving and the requests use; set once at installation.
struct ReceivingOptions {
    // The user-data folder ("log.nc", "notfound.nc", the last resort for a
    // file name without folder).
    QString user_data_folder;
    // The folder the front-end's file list shows, the fallback for an empty
    // default folder; called from any thread. Without it (or when it gives
    // an empty text) the user-data folder is used.
    std::function<QString()> file_list_folder;
};

class ReceiveEngine
{
public:
    ReceiveEngine(Machine &machine, const ReceivingOptions &options);
    ReceiveEngine(const ReceiveEngine &) = delete;
    ReceiveEngine &operator=(const ReceiveEngine &) = delete;

    // ---- line's event thread ----
    // One chunk of bytes from the machine.
    void received(const QByteArray &bytes);

    // ---- UI thread ----
    // A receive starts: the line buffer is emptied and a held program is
    // let go (see hold()).
    void start();
    // A line left in the buffer without its line end goes to the line
    // handler. False when the buffer was empty.
    bool finish_line_buffer();
    // The line handler for one line, adding straight to the editor.
    void line_received(const QString &line);

    // After a received program could not be saved with auto-serve on: the
    // program stays in the editor and the machine's further lines are not
    // added to it, until the next receive starts (Receive, Clear, or the
    // machine's reset marker).
    void hold();
    bool held() const { return held_; }

    // Direct receive: received lines are written to this file instead of
    // the editor while record.direct_file is set. Opening replaces a file
    // still open; closing reports a write that failed.
    bool open_direct_file(const QString &path, QString *error);
    void close_direct_file();
    bool direct_file_open() const;

    // A note that could not be seen when it was made (a failed save),
    // shown again when the next receive starts.
    QString pending_note;

private:
    enum class IdleTimer { Unchanged, Restart, Stop };

    // What one chunk collects for the editor and the idle timer.
    struct Chunk {
        QStringList lines;
        IdleTimer idle = IdleTimer::Unchanged;
        bool stop = false; // the rest of the chunk is not handled
        // An end of program took the line before its LF arrived; that LF
        // ends no further line.
        bool line_taken = false;
    };

    void byte_received(int c, QString &line, Chunk &chunk);
    void line_end(QString &line, Chunk &chunk);
    void end_action(QString &line, Chunk &chunk, bool at_line_end);
    void reset_marker_seen(Chunk &chunk);
    void auto_save_marker(const QString &line);
    // The line handler; `chunk` null: straight to the editor.
    void handle_line(QString line, Chunk *chunk);
    void write_direct(const QString &line);
    void flush(Chunk &chunk);
    void finish_chunk(Chunk &chunk);
    QString file_list_folder() const;

    Machine &machine_;
    MachineSettingsRecord &record_;
    const ReceivingOptions &options_;

    // The line buffer (record.global_string1) is taken by the chunk being
    // handled and put back at its end; the UI thread takes it at a finish.
    std::mutex buffer_mutex_;
    // Chunk::line_taken between chunks (the UI thread's finish takes a
    // line too).
    std::atomic<bool> line_taken_without_end_{false};

    std::atomic<bool> held_{false};

    mutable std::mutex direct_mutex_;
    QFile direct_file_;
    QString direct_error_;
    qint64 direct_chars_ = 0;
    qint64 direct_reported_ = 0;
};

} // namespace dnc
