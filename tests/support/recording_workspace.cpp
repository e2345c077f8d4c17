#include "support/recording_workspace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace dnc::test
{

RecordingWorkspace::RecordingWorkspace(int machines) : machines_(std::size_t(machines)) {}

RecordingWorkspace::Machine &RecordingWorkspace::at(int machine)
{
    if (machine < 0 || std::size_t(machine) >= machines_.size())
        machines_.resize(std::size_t(std::max(machine, 0)) + 1);
    return machines_[std::size_t(machine)];
}

const RecordingWorkspace::Machine &RecordingWorkspace::at(int machine) const
{
    static const Machine none;
    if (machine < 0 || std::size_t(machine) >= machines_.size())
        return none;
    return machines_[std::size_t(machine)];
}

void RecordingWorkspace::changed()
{
    ++revision_;
}

void RecordingWorkspace::set_program(int machine, const QStringList &lines)
{
    std::lock_guard lock(mutex_);
    at(machine).lines = lines;
    changed();
}

void RecordingWorkspace::set_cursor_line(int machine, int line)
{
    std::lock_guard lock(mutex_);
    at(machine).cursor_line = line;
}

void RecordingWorkspace::set_message_answer(int answer)
{
    std::lock_guard lock(mutex_);
    message_answer_ = answer;
}

QStringList RecordingWorkspace::notes(int machine) const
{
    std::lock_guard lock(mutex_);
    return at(machine).notes;
}

QString RecordingWorkspace::last_note(int machine) const
{
    std::lock_guard lock(mutex_);
    const QStringList &notes = at(machine).notes;
    return notes.isEmpty() ? QString() : notes.last();
}

NoteColour RecordingWorkspace::last_colour(int machine) const
{
    std::lock_guard lock(mutex_);
    return at(machine).colour;
}

bool RecordingWorkspace::has_note(int machine, const QString &text) const
{
    std::lock_guard lock(mutex_);
    return at(machine).notes.contains(text);
}

QStringList RecordingWorkspace::messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

bool RecordingWorkspace::button_enabled(int machine, FrameButton button) const
{
    std::lock_guard lock(mutex_);
    return at(machine).buttons.value(button, true);
}

QList<int> RecordingWorkspace::progress(int machine) const
{
    std::lock_guard lock(mutex_);
    return at(machine).progress;
}

bool RecordingWorkspace::progress_visible(int machine) const
{
    std::lock_guard lock(mutex_);
    return at(machine).progress_visible;
}

int RecordingWorkspace::highlighted_line(int machine) const
{
    std::lock_guard lock(mutex_);
    return at(machine).highlighted;
}

bool RecordingWorkspace::editable(int machine) const
{
    std::lock_guard lock(mutex_);
    return at(machine).editable;
}

QString RecordingWorkspace::file_name(int machine) const
{
    std::lock_guard lock(mutex_);
    return at(machine).file_name;
}

QList<bool> RecordingWorkspace::flow_indicator(int machine) const
{
    std::lock_guard lock(mutex_);
    return at(machine).flow;
}

QString RecordingWorkspace::port_display(int machine) const
{
    std::lock_guard lock(mutex_);
    return at(machine).port_display;
}

int RecordingWorkspace::editor_reads(int machine) const
{
    std::lock_guard lock(mutex_);
    return at(machine).editor_reads;
}

void RecordingWorkspace::note(int machine, const QString &text, NoteColour colour)
{
    std::lock_guard lock(mutex_);
    at(machine).notes.append(text);
    at(machine).colour = colour;
}

void RecordingWorkspace::set_and_display_filename(int machine, const QString &path)
{
    std::lock_guard lock(mutex_);
    at(machine).file_name = path;
}

void RecordingWorkspace::memo_add(int machine, const QString &line)
{
    std::lock_guard lock(mutex_);
    at(machine).lines.append(line);
    changed();
}

void RecordingWorkspace::highlight_line(int machine, int line)
{
    std::lock_guard lock(mutex_);
    at(machine).highlighted = line;
}

int RecordingWorkspace::editor_line_count(int machine)
{
    std::lock_guard lock(mutex_);
    return int(at(machine).lines.size());
}

QString RecordingWorkspace::editor_line(int machine, int line)
{
    std::lock_guard lock(mutex_);
    const QStringList &lines = at(machine).lines;
    return line >= 1 && line <= lines.size() ? lines[line - 1] : QString();
}

QStringList RecordingWorkspace::editor_lines(int machine)
{
    std::lock_guard lock(mutex_);
    ++at(machine).editor_reads;
    return at(machine).lines;
}

void RecordingWorkspace::replace_editor_line(int machine, int line, const QString &text)
{
    std::lock_guard lock(mutex_);
    QStringList &lines = at(machine).lines;
    if (line >= 1 && line <= lines.size()) {
        lines[line - 1] = text;
        changed();
    }
}

void RecordingWorkspace::set_editor_text(int machine, const QStringList &lines)
{
    std::lock_guard lock(mutex_);
    at(machine).lines = lines;
    changed();
}

void RecordingWorkspace::clear_editor(int machine)
{
    std::lock_guard lock(mutex_);
    at(machine).lines.clear();
    changed();
}

int RecordingWorkspace::editor_cursor_line(int machine)
{
    std::lock_guard lock(mutex_);
    return at(machine).cursor_line;
}

quint64 RecordingWorkspace::editor_revision(int)
{
    return revision_;
}

void RecordingWorkspace::progress_bar_visible(int machine, bool visible)
{
    std::lock_guard lock(mutex_);
    at(machine).progress_visible = visible;
}

void RecordingWorkspace::set_progress_bar(int machine, int percent)
{
    std::lock_guard lock(mutex_);
    at(machine).progress.append(percent);
}

void RecordingWorkspace::enable_button(int machine, FrameButton button, bool enabled)
{
    std::lock_guard lock(mutex_);
    at(machine).buttons[button] = enabled;
}

void RecordingWorkspace::set_editor_editable(int machine, bool editable)
{
    std::lock_guard lock(mutex_);
    at(machine).editable = editable;
}

void RecordingWorkspace::set_port_display(int machine, const QString &text)
{
    std::lock_guard lock(mutex_);
    at(machine).port_display = text;
}

void RecordingWorkspace::flow_indicator_changed(int machine, bool on)
{
    std::lock_guard lock(mutex_);
    at(machine).flow.append(on);
}

int RecordingWorkspace::show_message(const QString &title, const QString &body, int kind)
{
    std::lock_guard lock(mutex_);
    messages_.append(title + QLatin1Char('|') + body + QLatin1Char('|') + QString::number(kind));
    return message_answer_;
}

bool wait_until(const std::function<bool()> &done, int timeout_ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout_ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void process_events_for(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

} // namespace dnc::test
