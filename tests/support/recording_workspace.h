// A front-end for engine tests: editors held as lines, and every note,
// button change, highlight, progress value and message recorded so that a
// test can look at them. Thread-safe like a real front-end: the engine
// calls it from the UI thread, the send workers and the lines' event
// threads.
#pragma once

#include "engine/workspace.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace dnc::test
{

class RecordingWorkspace : public Workspace
{
public:
    explicit RecordingWorkspace(int machines = 1);

    // ---- what the test sets ----
    void set_program(int machine, const QStringList &lines);
    void set_cursor_line(int machine, int line);
    // The answer show_message gives (default AnswerOk).
    void set_message_answer(int answer);

    // ---- what the test looks at ----
    QStringList notes(int machine) const;
    QString last_note(int machine) const;
    NoteColour last_colour(int machine) const;
    bool has_note(int machine, const QString &text) const;
    QStringList messages() const; // "title|body|kind"
    bool button_enabled(int machine, FrameButton button) const;
    QList<int> progress(int machine) const;
    bool progress_visible(int machine) const;
    int highlighted_line(int machine) const;
    bool editable(int machine) const;
    QString file_name(int machine) const;
    QList<bool> flow_indicator(int machine) const;
    QString port_display(int machine) const;
    // How often the editor's whole text was read (editor_lines).
    int editor_reads(int machine) const;

    // ---- Workspace ----
    void note(int machine, const QString &text, NoteColour colour) override;
    void set_and_display_filename(int machine, const QString &path) override;
    void memo_add(int machine, const QString &line) override;
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
    void set_editor_editable(int machine, bool editable) override;
    void set_port_display(int machine, const QString &text) override;
    void flow_indicator_changed(int machine, bool on) override;
    int show_message(const QString &title, const QString &body, int kind) override;

private:
    struct Machine {
        QStringList lines;
        int cursor_line = 1;
        QStringList notes;
        NoteColour colour = NoteColour::Normal;
        QMap<FrameButton, bool> buttons;
        QList<int> progress;
        bool progress_visible = false;
        int highlighted = 0;
        bool editable = true;
        QString file_name;
        QList<bool> flow;
        QString port_display;
        int editor_reads = 0;
    };
    Machine &at(int machine);
    const Machine &at(int machine) const;
    void changed(); // with mutex_ held

    mutable std::mutex mutex_;
    std::vector<Machine> machines_;
    std::atomic<quint64> revision_{1};
    QStringList messages_;
    int message_answer_ = AnswerOk;
};

// Runs this thread's Qt events until `done` is true; false after
// `timeout_ms`.
bool wait_until(const std::function<bool()> &done, int timeout_ms = 5000);

// Runs this thread's Qt events for `ms` milliseconds.
void process_events_for(int ms);

} // namespace dnc::test
