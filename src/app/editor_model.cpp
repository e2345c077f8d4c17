#include "app/editor_model.h"

#include <QFile>

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

bool read_program_lines(const QString &path, QStringList *lines, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QStringList result;
    qsizetype start = 0;
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n')
            continue;
        result.append(QString::fromLatin1(bytes.constData() + start, i - start));
        if (c == '\r' && i + 1 < size && bytes.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        result.append(QString::fromLatin1(bytes.constData() + start, size - start));
    *lines = result;
    return true;
}

} // namespace dnc
