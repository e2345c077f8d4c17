// A served machine for the receive and request tests: an Engine with the
// recording front-end, receiving installed, and one machine whose COM1 is a
// pseudo-terminal and whose user-data folder is a temporary folder. The test
// plays the control on the pty's master side and waits for the server's
// notes.
#pragma once

#include "engine/engine.h"
#include "engine/machine.h"
#include "engine/receiving.h"
#include "support/pty_pair.h"
#include "support/recording_workspace.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <mutex>

namespace dnc::test
{

// The recording front-end, with a hook that sees every note as it is made
// (on the thread that makes it).
class HookedWorkspace : public RecordingWorkspace
{
public:
    void set_note_hook(std::function<void(const QString &text)> hook);
    void note(int machine, const QString &text, NoteColour colour) override;

private:
    std::mutex hook_mutex_;
    std::function<void(const QString &text)> hook_;
};

class ServedMachine
{
public:
    // `keys`: lines of the machine's DNC.ini section, over a plain
    // setting (COM1 at 115200 baud, 8N1, XON/XOFF, LF as end of block);
    // "{data}" stands for the user-data folder (which ends with "/").
    explicit ServedMachine(const QByteArray &keys = {});
    ~ServedMachine();

    Engine &engine() { return *engine_; }
    Machine &machine() { return engine_->machine(0); }
    MachineSettingsRecord &record() { return machine().record(); }
    Receiving &receiving() { return *receiving_; }
    HookedWorkspace &workspace() { return workspace_; }
    PtyPair &pty() { return pty_; }

    const QString &data_folder() const { return data_folder_; }
    QString path(const QString &relative) const { return data_folder_ + relative; }
    void write_file(const QString &relative, const QByteArray &bytes) const;
    QByteArray read_file(const QString &relative) const;
    void make_folder(const QString &relative) const;

    // Opens the port as the server does at start: an auto-serve machine
    // then waits for commands.
    void open();
    // The frame's Receive.
    void receive();

    // How often the note `text` has been shown.
    int note_count(const QString &text) const;
    // The notes that contain `text`.
    QStringList notes_containing(const QString &text) const;
    // Runs the UI thread's events until the note `text` has been shown
    // `count` times in all.
    bool wait_for_note(const QString &text, int count = 1, int timeout_ms = 5000);

    // The control sends bytes.
    void control_sends(const QByteArray &bytes);
    // The control reads what the server sends until DC4 (included) arrives.
    QByteArray control_reads_until_dc4(int timeout_ms = 5000);

    QStringList editor() { return workspace_.editor_lines(0); }
    QString file_name() const { return workspace_.file_name(0); }

private:
    QTemporaryDir dir_;
    QString data_folder_;
    PtyPair pty_;
    HookedWorkspace workspace_;
    std::unique_ptr<Engine> engine_;
    std::shared_ptr<Receiving> receiving_;
};

// An NC program's lines as the server sends them with LF as end of block.
QByteArray lines_with_lf(const QStringList &lines);

} // namespace dnc::test
