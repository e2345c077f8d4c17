#include "app/headless_workspace.h"

#include <atomic>

namespace dnc
{

struct HeadlessWorkspace::Machine {
    std::shared_ptr<EditorModel> editor = std::make_shared<EditorModel>();
    mutable std::mutex mutex; // guards name, file_name and status
    QString name;
    QString file_name;
    QString status; // the last note, as the frame's status line shows it
    std::atomic<int> progress{0};
    std::atomic<bool> progress_visible{false};
    std::atomic<unsigned> disabled_buttons{0}; // bit per FrameButton
};

QString note_line(const QString &machine_name, const QString &text)
{
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return machine_name + QLatin1String(": ") + line;
}

HeadlessWorkspace::HeadlessWorkspace(std::FILE *out, std::FILE *err) : out_(out), err_(err) {}

HeadlessWorkspace::~HeadlessWorkspace() = default;

void HeadlessWorkspace::set_machines(const QStringList &names)
{
    std::lock_guard lock(machines_mutex_);
    machines_.resize(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        auto &entry = machines_[size_t(i)];
        if (!entry)
            entry = std::make_shared<Machine>();
        std::lock_guard name_lock(entry->mutex);
        entry->name = names.at(i);
    }
    if (current_machine_ >= int(machines_.size()))
        current_machine_ = 0;
}

QStringList HeadlessWorkspace::machine_names() const
{
    std::lock_guard lock(machines_mutex_);
    QStringList names;
    for (const auto &entry : machines_) {
        std::lock_guard name_lock(entry->mutex);
        names.append(entry->name);
    }
    return names;
}

int HeadlessWorkspace::machine_count() const
{
    std::lock_guard lock(machines_mutex_);
    return int(machines_.size());
}

std::shared_ptr<HeadlessWorkspace::Machine> HeadlessWorkspace::machine(int index) const
{
    std::lock_guard lock(machines_mutex_);
    if (index < 0 || index >= int(machines_.size()))
        return nullptr;
    return machines_[size_t(index)];
}

QString HeadlessWorkspace::machine_name(int machine_index) const
{
    const auto m = machine(machine_index);
    if (!m)
        return QStringLiteral("Machine %1").arg(machine_index + 1);
    std::lock_guard lock(m->mutex);
    return m->name;
}

int HeadlessWorkspace::current_machine() const
{
    std::lock_guard lock(machines_mutex_);
    return current_machine_;
}

void HeadlessWorkspace::set_current_machine(int machine_index)
{
    std::lock_guard lock(machines_mutex_);
    if (machine_index >= 0 && machine_index < int(machines_.size()))
        current_machine_ = machine_index;
}

std::shared_ptr<EditorModel> HeadlessWorkspace::editor(int machine_index) const
{
    const auto m = machine(machine_index);
    return m ? m->editor : nullptr;
}

QString HeadlessWorkspace::file_name(int machine_index) const
{
    const auto m = machine(machine_index);
    if (!m)
        return {};
    std::lock_guard lock(m->mutex);
    return m->file_name;
}

int HeadlessWorkspace::progress(int machine_index) const
{
    const auto m = machine(machine_index);
    return m ? m->progress.load() : 0;
}

bool HeadlessWorkspace::progress_visible(int machine_index) const
{
    const auto m = machine(machine_index);
    return m && m->progress_visible.load();
}

bool HeadlessWorkspace::button_enabled(int machine_index, FrameButton button) const
{
    const auto m = machine(machine_index);
    return m && (m->disabled_buttons.load() & (1u << unsigned(button))) == 0;
}

void HeadlessWorkspace::write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::lock_guard lock(output_mutex_);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void HeadlessWorkspace::print(const QString &text)
{
    write(out_, text);
}

void HeadlessWorkspace::print_error(const QString &text)
{
    write(err_, text);
}

void HeadlessWorkspace::note(int machine_index, const QString &text, NoteColour)
{
    if (const auto m = machine(machine_index)) {
        std::lock_guard lock(m->mutex);
        m->status = text;
    }
    print(note_line(machine_name(machine_index), text));
}

QString HeadlessWorkspace::status_text(int machine_index) const
{
    const auto m = machine(machine_index);
    if (!m)
        return {};
    std::lock_guard lock(m->mutex);
    return m->status;
}

void HeadlessWorkspace::set_and_display_filename(int machine_index, const QString &path)
{
    if (const auto m = machine(machine_index)) {
        std::lock_guard lock(m->mutex);
        m->file_name = path;
    }
}

void HeadlessWorkspace::memo_add(int machine_index, const QString &line)
{
    if (const auto e = editor(machine_index))
        e->append(line);
}

void HeadlessWorkspace::memo_add_lines(int machine_index, const QStringList &lines)
{
    if (const auto e = editor(machine_index))
        e->append_lines(lines);
}

void HeadlessWorkspace::highlight_line(int machine_index, int line)
{
    if (const auto e = editor(machine_index))
        e->set_highlighted_line(line);
}

int HeadlessWorkspace::editor_line_count(int machine_index)
{
    const auto e = editor(machine_index);
    return e ? e->line_count() : 0;
}

QString HeadlessWorkspace::editor_line(int machine_index, int line)
{
    const auto e = editor(machine_index);
    return e ? e->line(line) : QString();
}

QStringList HeadlessWorkspace::editor_lines(int machine_index)
{
    const auto e = editor(machine_index);
    return e ? e->lines() : QStringList();
}

void HeadlessWorkspace::replace_editor_line(int machine_index, int line, const QString &text)
{
    if (const auto e = editor(machine_index))
        e->replace(line, text);
}

void HeadlessWorkspace::set_editor_text(int machine_index, const QStringList &lines)
{
    if (const auto e = editor(machine_index))
        e->set_lines(lines);
}

void HeadlessWorkspace::clear_editor(int machine_index)
{
    if (const auto e = editor(machine_index))
        e->clear();
}

int HeadlessWorkspace::editor_cursor_line(int machine_index)
{
    const auto e = editor(machine_index);
    return e ? e->cursor_line() : 1;
}

quint64 HeadlessWorkspace::editor_revision(int machine_index)
{
    const auto e = editor(machine_index);
    return e ? e->revision() : 0;
}

void HeadlessWorkspace::progress_bar_visible(int machine_index, bool visible)
{
    if (const auto m = machine(machine_index))
        m->progress_visible.store(visible);
}

void HeadlessWorkspace::set_progress_bar(int machine_index, int percent)
{
    if (const auto m = machine(machine_index))
        m->progress.store(percent);
}

void HeadlessWorkspace::enable_button(int machine_index, FrameButton button, bool enabled)
{
    const auto m = machine(machine_index);
    if (!m)
        return;
    const unsigned bit = 1u << unsigned(button);
    if (enabled)
        m->disabled_buttons.fetch_and(~bit);
    else
        m->disabled_buttons.fetch_or(bit);
}

int HeadlessWorkspace::show_message(const QString &title, const QString &body, int kind)
{
    const QString text = title + QLatin1Char(' ') + body;
    if (kind == MessageAlwaysDialog) {
        print_error(text);
        return AnswerOk;
    }
    note(current_machine(), text, NoteColour::Normal);
    return AnswerNone;
}

} // namespace dnc
