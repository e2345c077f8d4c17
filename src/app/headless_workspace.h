// The front-end of the server without a window. Every status note becomes a
// line "<machine name>: <text>" on standard output, written whole and
// flushed at once so that a supervisor or a pipe sees it immediately.
// Messages never wait for a click: show_message becomes a note and answers
// 0, as with the remote-app option; only a message that must always be seen
// (kind 5) goes to standard error and is answered OK.
//
// Threads: every member may be called from any thread. The machine list is
// set on the UI thread while no transfer runs.
#pragma once

#include "app/editor_model.h"
#include "engine/workspace.h"

#include <QString>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

namespace dnc
{

class HeadlessWorkspace : public Workspace
{
public:
    explicit HeadlessWorkspace(std::FILE *out = stdout, std::FILE *err = stderr);
    ~HeadlessWorkspace() override;

    // The machines, in machine order. Editors of machines that keep their
    // index keep their text.
    void set_machines(const QStringList &names);
    QStringList machine_names() const;
    int machine_count() const;
    QString machine_name(int machine) const;

    // The machine that menus, messages and handed-over files act on.
    int current_machine() const;
    void set_current_machine(int machine);

    // The machine's editor; null for an index outside the list.
    std::shared_ptr<EditorModel> editor(int machine) const;
    QString file_name(int machine) const;
    // The machine's status line: its last note.
    QString status_text(int machine) const;
    int progress(int machine) const;
    bool progress_visible(int machine) const;
    bool button_enabled(int machine, FrameButton button) const;

    // Writes lines to standard output / standard error, whole and flushed.
    void print(const QString &text);
    void print_error(const QString &text);

    // Workspace
    void note(int machine, const QString &text, NoteColour colour) override;
    void set_and_display_filename(int machine, const QString &path) override;
    void memo_add(int machine, const QString &line) override;
    void memo_add_lines(int machine, const QStringList &lines) override;
    void highlight_line(int machine, int line) override;
    int editor_line_count(int machine) override;
    QString editor_line(int machine, int line) override;
    QStringList editor_lines(int machine) override;
    void replace_editor_line(int machine, int line, const QString &text) override;
    void set_editor_text(int machine, const QStringList &lines) override;
    void clear_editor(int machine) override;
    int editor_cursor_line(int machine) override;
    quint64 editor_revision(int machine) override;
    void progress_bar_visible(int machine, bool visible) override;
    void set_progress_bar(int machine, int percent) override;
    void enable_button(int machine, FrameButton button, bool enabled) override;
    int show_message(const QString &title, const QString &body, int kind) override;

private:
    struct Machine;
    std::shared_ptr<Machine> machine(int index) const;
    void write(std::FILE *stream, const QString &text);

    std::FILE *out_;
    std::FILE *err_;
    std::mutex output_mutex_;
    mutable std::mutex machines_mutex_;
    std::vector<std::shared_ptr<Machine>> machines_;
    int current_machine_ = 0;
};

// A note as one output line: "<machine name>: <text>", with the note's own
// line breaks turned into spaces so that one note is always one line.
QString note_line(const QString &machine_name, const QString &text);

} // namespace dnc
