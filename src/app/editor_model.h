// A machine's editor without a window: the program text as lines, with a
// revision counter that changes whenever the text changes, the cursor line
// and the highlighted line. The engine reads and writes it from any thread
// (send worker, serial event thread, UI thread); every member takes the
// model's own lock, so each call sees and leaves a whole text.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>

namespace dnc
{

class EditorModel
{
public:
    struct Snapshot {
        QStringList lines;
        quint64 revision = 0;
    };

    // Lines are 1-based. Reading outside 1..line_count() gives an empty
    // text; replacing outside it changes nothing.
    int line_count() const;
    QString line(int line) const;
    QStringList lines() const;
    Snapshot snapshot() const;

    void append(const QString &line);
    // Appends every line in order as one change.
    void append_lines(const QStringList &lines);
    void replace(int line, const QString &text);
    void set_lines(const QStringList &lines);
    void clear();

    quint64 revision() const { return revision_.load(std::memory_order_acquire); }

    int cursor_line() const { return cursor_line_.load(std::memory_order_relaxed); }
    void set_cursor_line(int line) { cursor_line_.store(line, std::memory_order_relaxed); }
    int highlighted_line() const { return highlighted_line_.load(std::memory_order_relaxed); }
    void set_highlighted_line(int line)
    {
        highlighted_line_.store(line, std::memory_order_relaxed);
    }

private:
    void changed(); // call with mutex_ held

    mutable std::mutex mutex_;
    QStringList lines_;
    std::atomic<quint64> revision_{0};
    std::atomic<int> cursor_line_{1};
    std::atomic<int> highlighted_line_{0};
};

} // namespace dnc
