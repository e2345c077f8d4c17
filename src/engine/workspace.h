// The interface through which the engine reports to, and asks, a front-end:
// the desktop window or the headless server implement it.
//
// Threads: every member may be called from any thread (UI thread, a send
// worker, a serial line's event thread). An implementation carries the work
// to its UI thread: queued for the "fire and forget" members, blocking for
// the members that return something or whose order matters to the caller
// (memo_add, highlight_line, editor reads and writes, show_message).
#pragma once

#include <QString>
#include <QStringList>

namespace dnc
{

// Status colours of a note, chosen by file type and auto-serve.
enum class NoteColour { Normal, AutoServe, Binary, Mazatrol };

// Buttons of a machine's frame that the engine enables and disables.
enum class FrameButton { Send, Receive, Stop, Clear, Save, Reset, Print };

// Answers of show_message.
enum MessageAnswer : int {
    AnswerNone = 0,
    AnswerOk = 1,
    AnswerCancel = 2,
    AnswerYes = 6,
    AnswerNo = 7
};

// Kinds of show_message.
enum MessageKind : int {
    MessageOk = 0,
    MessageYesNo = 1,
    MessageYesNoCancel = 2,
    MessageYesCancel = 3,
    MessageOkCancel = 4,
    MessageAlwaysDialog = 5,
};

class Workspace
{
public:
    virtual ~Workspace() = default;

    // Status line of machine `machine` (0-based index); `text` already
    // carries the "Binary-"/"Mazatrol-" prefix.
    virtual void note(int machine, const QString &text, NoteColour colour) = 0;

    // Shows the name of the file in machine's editor.
    virtual void set_and_display_filename(int machine, const QString &path) = 0;

    // Editor access. Lines are 1-based where a line number is given.
    virtual void memo_add(int machine, const QString &line) = 0;
    // Appends several lines in order, as one change where the front-end can
    // (a receive hands over every line of a chunk at once).
    virtual void memo_add_lines(int machine, const QStringList &lines)
    {
        for (const QString &line : lines)
            memo_add(machine, line);
    }
    virtual void highlight_line(int machine, int line) = 0;
    virtual int editor_line_count(int machine) = 0;
    virtual QString editor_line(int machine, int line) = 0;
    virtual QStringList editor_lines(int machine) = 0;
    virtual void replace_editor_line(int machine, int line, const QString &text) = 0;
    virtual void set_editor_text(int machine, const QStringList &lines) = 0;
    virtual void clear_editor(int machine) = 0;
    // Line of the editor's cursor (1-based), for "send from the cursor".
    virtual int editor_cursor_line(int machine) = 0;
    // Changes whenever the editor's text changes; lets a sender keep a
    // snapshot of the program while nobody edits it. The send worker asks
    // for it before every line, so it must be cheap and must not wait for
    // the UI thread (keep it in an atomic that every change bumps).
    virtual quint64 editor_revision(int machine) = 0;

    virtual void progress_bar_visible(int machine, bool visible) = 0;
    virtual void set_progress_bar(int machine, int percent) = 0;

    virtual void enable_button(int machine, FrameButton button, bool enabled) = 0;

    // The editor accepts typing (false while a transfer owns it). A
    // front-end with a read-only option keeps the editor read-only.
    virtual void set_editor_editable(int machine, bool editable)
    {
        (void)machine;
        (void)editable;
    }
    // The frame's port display: the line's settings or "Not Connected".
    virtual void set_port_display(int machine, const QString &text)
    {
        (void)machine;
        (void)text;
    }
    // The flow indicator: the machine allows sending (on) or holds it.
    virtual void flow_indicator_changed(int machine, bool on)
    {
        (void)machine;
        (void)on;
    }
    // Before the editor is emptied: unsaved text is offered for saving.
    // Returns 0 when there was nothing to save, AnswerYes when it was
    // saved, AnswerNo when the operator let it go, AnswerCancel when the
    // caller must leave the editor as it is.
    virtual int check_if_file_saved(int machine)
    {
        (void)machine;
        return AnswerNone;
    }

    // Asks or warns; returns a MessageAnswer.
    virtual int show_message(const QString &title, const QString &body, int kind) = 0;
};

} // namespace dnc
