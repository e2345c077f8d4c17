#include "app/editor_model.h"

namespace dnc
{

int EditorModel::line_count() const
{
    std::lock_guard lock(mutex_);
    return int(lines_.size());
}

QString EditorModel::line(int line) const
{
    std::lock_guard lock(mutex_);
    if (line < 1 || line > lines_.size())
        return {};
    return lines_.at(line - 1);
}

QStringList EditorModel::lines() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

EditorModel::Snapshot EditorModel::snapshot() const
{
    std::lock_guard lock(mutex_);
    return Snapshot{lines_, revision_.load(std::memory_order_relaxed)};
}

void EditorModel::append(const QString &line)
{
    std::lock_guard lock(mutex_);
    lines_.append(line);
    changed();
}

void EditorModel::append_lines(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    std::lock_guard lock(mutex_);
    lines_.append(lines);
    changed();
}

void EditorModel::replace(int line, const QString &text)
{
    std::lock_guard lock(mutex_);
    if (line < 1 || line > lines_.size())
        return;
    lines_[line - 1] = text;
    changed();
}

void EditorModel::set_lines(const QStringList &lines)
{
    std::lock_guard lock(mutex_);
    lines_ = lines;
    changed();
}

void EditorModel::clear()
{
    std::lock_guard lock(mutex_);
    lines_.clear();
    changed();
}

void EditorModel::changed()
{
    revision_.fetch_add(1, std::memory_order_release);
}

} // namespace dnc
