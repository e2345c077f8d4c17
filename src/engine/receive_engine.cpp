#include "engine/receive_engine.h"

#include "comm/tape_code.h"
#include "engine/engine.h"
#include "engine/frame_actions.h"
#include "engine/machine.h"
#include "engine/program_file.h"
#include "engine/requests.h"
#include "engine/send_engine.h"

namespace dnc
{

namespace
{

constexpr int kNul = 0;
constexpr int kEtx = 3;
constexpr int kEot = 4;
constexpr int kLf = 10;
constexpr int kDc1 = 17;
constexpr int kDc2 = 18;
constexpr int kDc3 = 19;
constexpr int kDc4 = 20;
constexpr int kEsc = 27;
constexpr int kPercent = '%';

// More than this many bytes at once: the machine is asked to pause (XOFF)
// until the chunk has been handled.
constexpr qsizetype kOverfullInput = 4096;
// A direct receive reports its count every this many characters.
constexpr qint64 kDirectReportStep = 500;

const QString kReceivingData = QStringLiteral("Receiving Data");

QString file_name_part(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool is_mazatrol(const MachineSettingsRecord &record)
{
    return record.file_type == FileMazatrol || record.file_type == FileMazatrolT1;
}

} // namespace

ReceiveEngine::ReceiveEngine(Machine &machine, const ReceivingOptions &options)
    : machine_(machine), record_(machine.record()), options_(options)
{
}

QString ReceiveEngine::file_list_folder() const
{
    const QString folder = options_.file_list_folder ? options_.file_list_folder() : QString();
    return folder.isEmpty() ? options_.user_data_folder : folder;
}

// ---------------------------------------------------------------- line's event thread

void ReceiveEngine::received(const QByteArray &bytes)
{
    MachineSettingsRecord &r = record_;
    if (r.abort2) {
        machine_.port().purge(true, false);
        return;
    }
    if (r.is_doing_binary || r.end_program_flag || bytes.isEmpty())
        return;
    if (bytes.size() > kOverfullInput && !r.punching) {
        r.send_xon_flag = true;
        machine_.sender().send_xoff();
    }

    Chunk chunk;
    chunk.line_taken = line_taken_without_end_;
    QString line;
    {
        std::lock_guard lock(buffer_mutex_);
        line.swap(r.global_string1);
    }
    const bool mazatrol = is_mazatrol(r);
    for (const char byte : bytes) {
        if (r.abort2)
            break;
        const int c = convert_received_byte(r, std::uint8_t(byte));
        if (c < 0)
            continue;
        // A Mazatrol machine's blocks belong to its own protocol; here only
        // its flow control counts.
        if (mazatrol && c != kDc1 && c != kDc3)
            continue;
        byte_received(c, line, chunk);
        if (chunk.stop)
            break;
    }
    {
        std::lock_guard lock(buffer_mutex_);
        r.global_string1 = chunk.stop ? QString() : line;
    }
    line_taken_without_end_ = chunk.line_taken;
    flush(chunk);

    if (r.send_xon_flag && !r.punching) {
        r.send_xon_flag = false;
        machine_.port().write_byte(kDc1);
    }
}

void ReceiveEngine::byte_received(int c, QString &line, Chunk &chunk)
{
    MachineSettingsRecord &r = record_;
    switch (c) {
    case kNul:
    case kEsc:
        return;
    case kEtx:
        if (r.EndChar34) {
            r.end_on_char_flag = true;
            end_action(line, chunk, false);
        }
        return;
    case kEot:
        if (r.EndChar34 && r.file_type == FileNormal) {
            r.end_on_char_flag = true;
            end_action(line, chunk, false);
        }
        return;
    case kLf:
        line_end(line, chunk);
        return;
    case kDc1:
        // A send that waits for this XON reads the editor: it gets every
        // line that came before.
        flush(chunk);
        machine_.dc1_received();
        return;
    case kDc2:
        machine_.note(kReceivingData);
        return;
    case kDc3:
        machine_.dc3_received();
        return;
    case kDc4:
        if (r.EndChar20 && !r.end_on_char_flag)
            end_action(line, chunk, false);
        return;
    case kPercent:
        line.append(QLatin1Char('%'));
        chunk.line_taken = false;
        if (r.EndSecondPercent && r.looking_for_second_percent_sign) {
            r.end_on_char_flag = true;
            end_action(line, chunk, false);
        } else {
            r.looking_for_second_percent_sign = true;
        }
        return;
    default:
        line.append(QChar(char16_t(c)));
        chunk.line_taken = false;
        return;
    }
}

void ReceiveEngine::line_end(QString &line, Chunk &chunk)
{
    MachineSettingsRecord &r = record_;
    // "...%" ended the program (second "%", DC4) and took the line; its own
    // line end follows and must not add an empty line to the program.
    const bool taken = chunk.line_taken;
    chunk.line_taken = false;
    if (taken && line.isEmpty())
        return;
    if (r.EndOnString && line_has_marker(line, r.EndofReceiveString)) {
        end_action(line, chunk, true);
        return;
    }
    if (r.first_time_flag.exchange(false)) {
        if (r.auto_receive_flag) {
            machine_.note(QStringLiteral("Receiving File ") + file_name_part(r.filename()));
        } else {
            if (line.startsWith(QLatin1Char('$'))) {
                const qsizetype percent = line.indexOf(QLatin1Char('%'));
                display_filename(machine_, percent < 0 ? QString() : line.mid(1, percent - 1));
            }
            machine_.note(kReceivingData);
        }
    }
    if (r.auto_dnc_flag && line_has_marker(line, r.ResetCommand)) {
        reset_marker_seen(chunk);
        line.clear();
        return;
    }
    const int number = r.global_input_line_number;
    if (!r.punching) {
        handle_line(line, &chunk);
        r.global_input_line_number = number + 1;
    }
    // The same first lines as the request check at the finish looks at.
    if (number <= kRequestLines && line_has_marker(line, r.AutoSaveCommand))
        auto_save_marker(line);
    line.resize(0);
}

void ReceiveEngine::end_action(QString &line, Chunk &chunk, bool at_line_end)
{
    MachineSettingsRecord &r = record_;
    if (r.abort2) {
        chunk.stop = true;
        return;
    }
    if (!line.isEmpty()) {
        handle_line(line, &chunk);
        line.resize(0);
        chunk.line_taken = !at_line_end;
    }
    // After the line handler, which restarts it: a finished program must
    // not be finished a second time by the idle timer.
    chunk.idle = IdleTimer::Stop;
    r.is_last_line = true;
    if (r.receiving_flag) {
        flush(chunk);
        machine_.start_timer(MachineTimer::Finish);
    }
}

void ReceiveEngine::reset_marker_seen(Chunk &chunk)
{
    MachineSettingsRecord &r = record_;
    flush(chunk);
    r.abort2 = true;
    r.auto_receive_flag = false;
    r.receive_or_send = RequestReset;
    Machine &machine = machine_;
    // Clear with auto-serve stops whatever runs and goes back to waiting.
    machine.run_on_ui([&machine] {
        frame_clear(machine, false);
        machine.record().abort2 = false;
    });
    chunk.stop = true;
}

void ReceiveEngine::auto_save_marker(const QString &line)
{
    MachineSettingsRecord &r = record_;
    if (!auto_save_line_applies(r, line))
        return;
    const QString name = auto_save_name(r, line, file_list_folder());
    if (name.isEmpty())
        return;
    r.set_filename(name);
    display_filename(machine_, name);
    if (machine_.engine().remote_command_active)
        r.receive_or_send = RequestRemoteReceive;
    if (r.auto_dnc_flag)
        r.auto_receive_flag = true;
}

void ReceiveEngine::handle_line(QString line, Chunk *chunk)
{
    MachineSettingsRecord &r = record_;
    if (held_)
        return;
    const EngineHooks &hooks = machine_.engine().hooks();
    if (!r.ReceiveLineScript.isEmpty() && hooks.input_line_script)
        hooks.input_line_script(machine_, line);
    r.is_first_line = false;
    if (r.direct_file) {
        write_direct(line);
    } else {
        if (r.StripBlankLines)
            line = line.trimmed();
        const bool add =
            !(r.StripBlankLines && line.isEmpty()) && !line.startsWith(QLatin1String("///"));
        if (add && chunk) {
            // A copy of its own size: the buffer the line was collected in
            // is used again for the next line.
            chunk->lines.append(QString(line.constData(), line.size()));
        } else if (add) {
            Workspace &ws = machine_.workspace();
            ws.memo_add(machine_.index(), line);
            ws.highlight_line(machine_.index(), ws.editor_line_count(machine_.index()));
        }
    }
    if (chunk)
        chunk->idle = IdleTimer::Restart;
}

void ReceiveEngine::write_direct(const QString &line)
{
    QString report;
    {
        std::lock_guard lock(direct_mutex_);
        if (!direct_file_.isOpen())
            return;
        QByteArray bytes = text_to_line_bytes(line);
        bytes.append('\n');
        if (direct_file_.write(bytes) != bytes.size() && direct_error_.isEmpty()) {
            direct_error_ = direct_file_.errorString();
            report =
                QStringLiteral("Cannot write %1: %2").arg(direct_file_.fileName(), direct_error_);
        }
        direct_chars_ += line.size();
        if (report.isEmpty() && direct_chars_ - direct_reported_ > kDirectReportStep) {
            direct_reported_ = direct_chars_;
            report = QStringLiteral("Received") + QString::number(direct_chars_) +
                     QStringLiteral(" Chars");
        }
    }
    if (!report.isEmpty())
        machine_.note(report);
}

void ReceiveEngine::flush(Chunk &chunk)
{
    MachineSettingsRecord &r = record_;
    if (!chunk.lines.isEmpty()) {
        Workspace &ws = machine_.workspace();
        const int index = machine_.index();
        ws.memo_add_lines(index, chunk.lines);
        chunk.lines.clear();
        ws.highlight_line(index, ws.editor_line_count(index));
    }
    if (chunk.idle == IdleTimer::Restart) {
        if (r.AfterReceiveTimer && r.AutoReceiveSeconds > 0)
            machine_.start_timer(MachineTimer::Idle, r.AutoReceiveSeconds * 1000);
    } else if (chunk.idle == IdleTimer::Stop) {
        machine_.stop_timer(MachineTimer::Idle);
    }
    chunk.idle = IdleTimer::Unchanged;
}

// ---------------------------------------------------------------- UI thread

void ReceiveEngine::start()
{
    {
        std::lock_guard lock(buffer_mutex_);
        record_.global_string1.clear();
    }
    line_taken_without_end_ = false;
    held_ = false;
}

bool ReceiveEngine::finish_line_buffer()
{
    QString line;
    {
        std::lock_guard lock(buffer_mutex_);
        line.swap(record_.global_string1);
    }
    if (line.isEmpty())
        return false;
    line_taken_without_end_ = true;
    handle_line(line, nullptr);
    return true;
}

void ReceiveEngine::line_received(const QString &line)
{
    handle_line(line, nullptr);
}

void ReceiveEngine::hold()
{
    held_ = true;
}

bool ReceiveEngine::open_direct_file(const QString &path, QString *error)
{
    close_direct_file();
    std::lock_guard lock(direct_mutex_);
    direct_file_.setFileName(path);
    direct_error_.clear();
    direct_chars_ = 0;
    direct_reported_ = 0;
    if (!direct_file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = direct_file_.errorString();
        return false;
    }
    return true;
}

void ReceiveEngine::close_direct_file()
{
    QString report;
    {
        std::lock_guard lock(direct_mutex_);
        if (!direct_file_.isOpen())
            return;
        if (!direct_file_.flush() && direct_error_.isEmpty())
            direct_error_ = direct_file_.errorString();
        direct_file_.close();
        if (!direct_error_.isEmpty())
            report =
                QStringLiteral("Cannot write %1: %2").arg(direct_file_.fileName(), direct_error_);
    }
    if (!report.isEmpty())
        machine_.note(report);
}

bool ReceiveEngine::direct_file_open() const
{
    std::lock_guard lock(direct_mutex_);
    return direct_file_.isOpen();
}

} // namespace dnc
