#include "engine/drip_feed.h"

#include "comm/tape_code.h"
#include "config/machine_settings_record.h"
#include "engine/engine.h"
#include "engine/machine.h"
#include "engine/program_file.h"
#include "engine/send_engine.h"
#include "nc/subprogram.h"

#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace dnc
{

static_assert(std::tuple_size_v<decltype(MachineSettingsRecord::save_return_line_index)> ==
                  kMaxSubprogramLevels,
              "one return line per nesting level");

namespace
{

// A LOOP marker that has sent its block again and has passes left.
struct ActiveLoop {
    int marker_line = 0; // the "(LOOP " line (1-based)
    int count = 0;       // repeats asked for
    int repeats = 0;     // repeats started so far
};

// The LOOP state of one machine's send.
struct MachineLoops {
    quint64 run = 0; // the send it belongs to
    std::vector<ActiveLoop> active;
};

enum class FileSend {
    Sent,      // up to its M99 or its end
    Cancelled, // the send was stopped meanwhile
    Failed,    // it could not be read (the send stops with a message)
};

// The line as the operator wrote it, for messages: without the end of block
// that line preparation appended.
QString shown_line(const MachineSettingsRecord &record, const QString &line)
{
    const QString eob = end_of_block_string(record);
    if (!eob.isEmpty() && line.endsWith(eob))
        return line.chopped(eob.size());
    return line;
}

// The send ends here: the message goes to the UI thread (the worker does not
// wait for the click) and abort2 stops whatever the step would do next.
void stop_with_message(Machine &machine, const QString &title, const QString &body)
{
    machine.record().abort2 = true;
    machine.run_on_ui([&machine, title, body] { machine.show_message(title, body, MessageOk); });
}

void subprogram_not_found(Machine &machine, const QString &line)
{
    const MachineSettingsRecord &r = machine.record();
    stop_with_message(machine,
                      QStringLiteral("Subprogram %1 not found").arg(r.subprogram_number.load()),
                      QStringLiteral("in ") + shown_line(r, line));
}

// The lines of a subprogram file through the single-line output path, up to
// the file's M99; its "%" and program-number lines stay behind.
FileSend send_subprogram_file(Machine &machine, const QString &path)
{
    MachineSettingsRecord &r = machine.record();
    QStringList lines;
    QString error;
    if (!read_program_file(path, &lines, &error)) {
        stop_with_message(machine, QStringLiteral("Cannot Open File"),
                          QStringLiteral("%1: %2").arg(path, error));
        return FileSend::Failed;
    }
    for (const QString &line : lines) {
        if (r.abort2)
            return FileSend::Cancelled;
        switch (subprogram_file_line(line)) {
        case SubprogramFileLine::Skip:
            break;
        case SubprogramFileLine::End:
            return FileSend::Sent;
        case SubprogramFileLine::Send:
            if (machine.sender().punch_line_main(line) != 0)
                return FileSend::Cancelled;
            break;
        }
    }
    return FileSend::Sent;
}

class DripFeed
{
public:
    DripFeedStep loop_line(Machine &machine, const QString &raw_line);
    DripFeedStep subprogram_line(Machine &machine, const QString &prepared_line);

private:
    MachineLoops &loops_of(Machine &machine);
    static DripFeedStep call(Machine &machine, const QString &line, int number);
    static DripFeedStep return_from_call(Machine &machine, const QString &line);

    std::mutex mutex_;
    // Entries stay where they are once made, so a worker keeps its own
    // entry's reference while other machines add theirs.
    std::unordered_map<const Machine *, MachineLoops> loops_;
};

MachineLoops &DripFeed::loops_of(Machine &machine)
{
    MachineLoops *loops = nullptr;
    {
        std::lock_guard lock(mutex_);
        loops = &loops_[&machine];
    }
    // A new send starts with no loop running.
    const quint64 run = machine.sender().run_number();
    if (loops->run != run) {
        loops->run = run;
        loops->active.clear();
    }
    return *loops;
}

DripFeedStep DripFeed::loop_line(Machine &machine, const QString &raw_line)
{
    MachineSettingsRecord &r = machine.record();
    MachineLoops &loops = loops_of(machine);
    const int here = r.global_line_index;
    auto active = std::find_if(loops.active.begin(), loops.active.end(),
                               [here](const ActiveLoop &loop) { return loop.marker_line == here; });

    // The record shows the loop that moved last (no loop: -1 and 0).
    const auto show = [&r](const ActiveLoop *loop) {
        r.global_loop_count = loop ? loop->repeats - 2 : -1;
        r.global_number_of_loops = loop ? loop->count : 0;
    };

    if (active != loops.active.end() && active->repeats >= active->count) {
        loops.active.erase(active);
        show(loops.active.empty() ? nullptr : &loops.active.back());
        return DripFeedStep::Send; // on with the line after the marker
    }

    const LoopMarker marker = parse_loop_marker(raw_line);
    const int block_line =
        find_block(machine.sender().program_lines(), marker.block_number, 1, r.UseSubprograms);
    if (block_line == kBlockNotFound) {
        stop_with_message(machine, QStringLiteral("Block %1 not found").arg(marker.block_number),
                          QStringLiteral("in ") + raw_line);
        return DripFeedStep::Stop;
    }
    if (active == loops.active.end()) {
        // A count of 0 sends the block once, as the count rule says, instead
        // of repeating it for ever.
        if (marker.repeat_count < 1)
            return DripFeedStep::Send;
        loops.active.push_back({here, 0, 0});
        active = std::prev(loops.active.end());
    }
    active->count = marker.repeat_count;
    ++active->repeats;
    show(&*active);
    r.global_line_index = block_line;
    return DripFeedStep::Continue;
}

DripFeedStep DripFeed::subprogram_line(Machine &machine, const QString &prepared_line)
{
    MachineSettingsRecord &r = machine.record();
    const SubprogramLine what = classify_subprogram_line(prepared_line);
    // The M30 line is sent; the step then finds the program at its end.
    if (what.ends_program)
        r.global_line_index = r.global_end_line.load();
    switch (what.action) {
    case SubprogramAction::Call:
        return call(machine, prepared_line, what.subprogram_number);
    case SubprogramAction::Return:
        return return_from_call(machine, prepared_line);
    case SubprogramAction::None:
        break;
    }
    return DripFeedStep::Send;
}

DripFeedStep DripFeed::call(Machine &machine, const QString &line, int number)
{
    MachineSettingsRecord &r = machine.record();
    r.subprogram_number = number;
    if (number == 0) {
        subprogram_not_found(machine, line);
        return DripFeedStep::Stop;
    }
    const int level = r.current_sub_level;
    if (level < 0 || level >= kMaxSubprogramLevels) {
        stop_with_message(machine, QStringLiteral("Subprogram %1 nested too deeply").arg(number),
                          QStringLiteral("in %1: subprogram calls nest at most %2 levels deep")
                              .arg(shown_line(r, line))
                              .arg(kMaxSubprogramLevels));
        return DripFeedStep::Stop;
    }
    const int call_line = r.global_line_index;

    // Without a read folder there is no file to look for: a folder that
    // depends on where the server was started is no place to read from.
    const QString path = r.DefaultReadDirectory.isEmpty()
                             ? QString()
                             : subprogram_file_name(r.DefaultReadDirectory, r.sub_file_prefix,
                                                    number, r.DefaultExtension);
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        r.current_sub_level = level + 1;
        r.save_return_line_index[std::size_t(level)] = call_line;
        const FileSend sent = send_subprogram_file(machine, path);
        r.current_sub_level = level;
        if (sent == FileSend::Failed)
            return DripFeedStep::Stop;
        // After a cancel the step's own checks end the send with the note
        // that fits the way it was stopped.
        if (sent == FileSend::Sent)
            r.global_line_index = call_line + 1;
        return DripFeedStep::Continue;
    }

    const int start = find_subprogram_in_program(machine.sender().program_lines(), number);
    if (start == kBlockNotFound) {
        subprogram_not_found(machine, line);
        return DripFeedStep::Stop;
    }
    r.current_sub_level = level + 1;
    r.save_return_line_index[std::size_t(level)] = call_line;
    r.global_line_index = start + 1; // the "O" line itself is not sent
    return DripFeedStep::Continue;
}

DripFeedStep DripFeed::return_from_call(Machine &machine, const QString &line)
{
    MachineSettingsRecord &r = machine.record();
    const int level = r.current_sub_level;
    if (level < 1 || level > kMaxSubprogramLevels) {
        stop_with_message(
            machine,
            QStringLiteral("Can't Return From Subprogram %1").arg(r.subprogram_number.load()),
            QStringLiteral("in ") + shown_line(r, line));
        return DripFeedStep::Stop;
    }
    r.global_line_index = r.save_return_line_index[std::size_t(level - 1)] + 1;
    r.current_sub_level = level - 1;
    return DripFeedStep::Continue;
}

} // namespace

void install_drip_feed(Engine &engine)
{
    auto drip_feed = std::make_shared<DripFeed>();
    EngineHooks &hooks = engine.hooks();
    hooks.loop_line = [drip_feed](Machine &machine, const QString &raw_line) {
        return drip_feed->loop_line(machine, raw_line);
    };
    hooks.subprogram_line = [drip_feed](Machine &machine, const QString &prepared_line) {
        return drip_feed->subprogram_line(machine, prepared_line);
    };
}

QString subprogram_label(const MachineSettingsRecord &record)
{
    return record.UseSubprograms ? QStringLiteral("Subs") : QString();
}

} // namespace dnc
