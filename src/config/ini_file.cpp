#include "config/ini_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace dnc
{

namespace
{

// How long a writer waits for another writer of the same file.
constexpr auto kLockWait = std::chrono::seconds(5);
constexpr auto kLockPoll = std::chrono::milliseconds(2);

// Position stored for a name in a NameIndex, or -1.
template <typename Index> int index_of(const Index &index, QStringView name)
{
    const auto found = index.find(name);
    return found == index.end() ? -1 : found->second;
}

// UTF-8 where the bytes are UTF-8, Latin-1 for every byte that is not part
// of a well-formed UTF-8 sequence. Leading UTF-8 byte-order marks are
// dropped.
QString decode_text(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    QString out;
    out.reserve(n);
    qsizetype i = 0;
    while (i + 3 <= n && p[i] == 0xEF && p[i + 1] == 0xBB && p[i + 2] == 0xBF)
        i += 3;
    while (i < n) {
        qsizetype run = i;
        while (run < n && p[run] < 0x80)
            ++run;
        if (run > i) {
            out.append(QLatin1StringView(bytes.constData() + i, run - i));
            i = run;
            continue;
        }
        const unsigned lead = p[i];
        int length = 0;
        char32_t code = 0;
        char32_t smallest = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
            smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
            smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
            smallest = 0x10000;
        }
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            const unsigned next = p[i + k];
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        valid = valid && code >= smallest && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid) {
            out.append(QChar(lead));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(code)));
            out.append(QChar(QChar::lowSurrogate(code)));
        } else {
            out.append(QChar(char16_t(code)));
        }
        i += length;
    }
    return out;
}

// A name or value written into one line: line breaks become blanks.
QString one_line(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\r'), QLatin1Char(' '));
    out.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return out;
}

QString system_error(const QString &path, int error_number)
{
    return QStringLiteral("Cannot write %1: %2")
        .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(error_number)));
}

// The file a path names: symbolic links are followed so that the link stays
// a link and every writer locks the same file.
QString resolved_target(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString canonical = info.canonicalFilePath();
        if (!canonical.isEmpty())
            return canonical;
    }
    return info.absoluteFilePath();
}

// Serialises writers of one process; the lock file below serialises
// processes.
std::mutex &update_mutex()
{
    static std::mutex mutex;
    return mutex;
}

// An advisory lock on "<file>.lock", held while the file is read, changed
// and replaced. It is released when the process ends, however it ends.
class WriterLock
{
public:
    explicit WriterLock(const QString &target)
    {
        const QByteArray name = QFile::encodeName(target + QStringLiteral(".lock"));
        // Read access is enough for flock(), so the lock file can be shared
        // by every user who may write DNC.ini.
        fd_ = ::open(name.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    }
    ~WriterLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    WriterLock(const WriterLock &) = delete;
    WriterLock &operator=(const WriterLock &) = delete;

    // False only when another writer holds the lock for too long. Without a
    // lock file (a folder that may not be written) the writer goes on and
    // the write itself reports why it fails.
    bool acquire()
    {
        if (fd_ < 0)
            return true;
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(kLockPoll);
        }
        return true;
    }

private:
    int fd_ = -1;
};

// Replaces `target` with `data`: written to `temp_name` in the same folder,
// flushed to disk, then renamed over the target, so the target holds
// either its old or its new content at every moment.
bool replace_file(const QString &target, const QByteArray &data, const QString &temp_name,
                  QString *error)
{
    const QFileInfo info(target);
    const QString temp = info.absolutePath() + QLatin1Char('/') + temp_name;
    const QByteArray target_name = QFile::encodeName(target);
    const QByteArray temp_name_bytes = QFile::encodeName(temp);
    auto fail = [&](int error_number) {
        if (error)
            *error = system_error(target, error_number);
        return false;
    };

    struct stat old_state {
    };
    const bool had_file = ::stat(target_name.constData(), &old_state) == 0;
    // A file the operator made read-only stays as it is, although the
    // folder would allow replacing it.
    if (had_file && ::access(target_name.constData(), W_OK) != 0)
        return fail(errno);

    ::unlink(temp_name_bytes.constData()); // left over from an interrupted write
    const int fd =
        ::open(temp_name_bytes.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(errno);
    auto fail_with_temp = [&](int error_number) {
        ::close(fd);
        ::unlink(temp_name_bytes.constData());
        return fail(error_number);
    };

    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, p, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail_with_temp(errno);
        }
        p += written;
        left -= written;
    }
    if (had_file)
        ::fchmod(fd, old_state.st_mode & 07777);
    if (::fsync(fd) != 0)
        return fail_with_temp(errno);
    if (::close(fd) != 0) {
        const int error_number = errno;
        ::unlink(temp_name_bytes.constData());
        return fail(error_number);
    }
    if (::rename(temp_name_bytes.constData(), target_name.constData()) != 0) {
        const int error_number = errno;
        ::unlink(temp_name_bytes.constData());
        return fail(error_number);
    }
    // Make the rename itself survive a power cut.
    const int folder = ::open(QFile::encodeName(info.absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

} // namespace

QString dnc_ini_path(const QString &user_data_folder)
{
    QString folder = user_data_folder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QLatin1String(kDncIniFileName);
}

std::size_t IniFile::NameHash::operator()(QStringView name) const
{
    std::size_t hash = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name.at(i).unicode();
        if (c < 0x80) {
            hash = hash * 31 + (c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), name.at(++i).unicode());
        hash = hash * 31 + QChar::toCaseFolded(c);
    }
    return hash;
}

IniFile::IniFile(const QString &path) : path_(path)
{
    QFile file(path);
    exists_ = file.exists();
    if (!exists_)
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        read_error_ = QStringLiteral("Cannot read %1: %2")
                          .arg(QDir::toNativeSeparators(path), file.errorString());
        return;
    }
    parse(file.readAll());
}

IniFile IniFile::from_bytes(const QByteArray &bytes)
{
    IniFile ini;
    ini.parse(bytes);
    return ini;
}

void IniFile::parse(const QByteArray &bytes)
{
    const QString text = decode_text(bytes);
    const qsizetype first_break = text.indexOf(QLatin1Char('\n'));
    crlf_ = first_break > 0 && text.at(first_break - 1) == QLatin1Char('\r');

    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        QStringView raw = QStringView(text).mid(start, end - start);
        while (raw.endsWith(QLatin1Char('\r')))
            raw.chop(1);
        start = end + 1;

        const QStringView trimmed = raw.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) {
            QStringView name = trimmed.mid(1);
            const qsizetype close = name.indexOf(QLatin1Char(']'));
            if (close >= 0)
                name.truncate(close);
            sections_.append(Section{name.trimmed().toString(), raw.toString(), {}, {}});
            continue;
        }
        Line line{raw.toString(), {}, {}};
        const bool comment =
            trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
        const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
        if (!comment && equals > 0 && !sections_.isEmpty()) {
            line.key = trimmed.left(equals).trimmed().toString();
            line.value = trimmed.mid(equals + 1).trimmed().toString();
        }
        if (sections_.isEmpty())
            preamble_.append(std::move(line));
        else
            append_line(sections_.last(), std::move(line));
    }
    reindex_sections();
}

void IniFile::append_line(Section &section, Line line)
{
    if (!line.key.isEmpty())
        section.first_key.try_emplace(line.key, int(section.lines.size()));
    section.lines.append(std::move(line));
}

void IniFile::reindex_sections()
{
    first_section_.clear();
    for (int i = 0; i < sections_.size(); ++i)
        first_section_.try_emplace(sections_.at(i).name, i);
}

QStringList IniFile::section_names() const
{
    QStringList names;
    for (int i = 0; i < sections_.size(); ++i) {
        const QString &name = sections_.at(i).name;
        if (!name.isEmpty() && index_of(first_section_, name) == i)
            names.append(name);
    }
    return names;
}

bool IniFile::has_section(const QString &section) const
{
    return index_of(first_section_, section) >= 0;
}

QStringList IniFile::keys(const QString &section) const
{
    QStringList names;
    const int index = index_of(first_section_, section);
    if (index < 0)
        return names;
    const Section &s = sections_.at(index);
    for (int i = 0; i < s.lines.size(); ++i) {
        const QString &key = s.lines.at(i).key;
        if (!key.isEmpty() && index_of(s.first_key, key) == i)
            names.append(key);
    }
    return names;
}

const IniFile::Line *IniFile::find_entry(const QString &section, const QString &key) const
{
    const int index = index_of(first_section_, section);
    if (index < 0)
        return nullptr;
    const Section &s = sections_.at(index);
    const int line = index_of(s.first_key, key);
    return line < 0 ? nullptr : &s.lines.at(line);
}

bool IniFile::has_key(const QString &section, const QString &key) const
{
    return find_entry(section, key) != nullptr;
}

QString IniFile::read_string(const QString &section, const QString &key,
                             const QString &fallback) const
{
    const Line *entry = find_entry(section, key);
    return entry ? entry->value : fallback;
}

int IniFile::read_int(const QString &section, const QString &key, int fallback) const
{
    const Line *entry = find_entry(section, key);
    if (!entry)
        return fallback;
    bool ok = false;
    const int value = entry->value.toInt(&ok, 10);
    return ok ? value : fallback;
}

bool IniFile::read_bool(const QString &section, const QString &key, bool fallback) const
{
    return read_int(section, key, fallback ? 1 : 0) != 0;
}

IniFile::Section &IniFile::section_for_writing(const QString &section)
{
    const QString name = one_line(section).trimmed();
    const int index = index_of(first_section_, name);
    if (index >= 0)
        return sections_[index];
    // Keep a blank line between the previous section and the new one.
    const bool document_empty = sections_.isEmpty() && preamble_.isEmpty();
    QList<Line> &previous = sections_.isEmpty() ? preamble_ : sections_.last().lines;
    if (!document_empty && (previous.isEmpty() || !previous.last().text.trimmed().isEmpty()))
        previous.append(Line{});
    sections_.append(Section{name, QLatin1Char('[') + name + QLatin1Char(']'), {}, {}});
    first_section_.try_emplace(name, int(sections_.size() - 1));
    return sections_.last();
}

void IniFile::write_string(const QString &section, const QString &key, const QString &value)
{
    Section &s = section_for_writing(section);
    const QString name = one_line(key).trimmed();
    const QString text = one_line(value);
    Line line{name + QLatin1Char('=') + text, name, text.trimmed()};
    const int existing = index_of(s.first_key, name);
    if (existing >= 0) {
        s.lines[existing] = std::move(line);
        return;
    }
    // New keys go after the section's last non-blank line, so the blank
    // line that separates it from the next section stays at its end.
    qsizetype at = s.lines.size();
    while (at > 0 && s.lines.at(at - 1).text.trimmed().isEmpty())
        --at;
    if (at == s.lines.size()) {
        append_line(s, std::move(line));
        return;
    }
    s.lines.insert(at, std::move(line));
    s.first_key.try_emplace(name, int(at));
}

void IniFile::write_int(const QString &section, const QString &key, int value)
{
    write_string(section, key, QString::number(value));
}

void IniFile::write_bool(const QString &section, const QString &key, bool value)
{
    write_string(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::ensure_section(const QString &section)
{
    section_for_writing(section);
}

void IniFile::erase_section(const QString &section)
{
    sections_.removeIf(
        [&](const Section &s) { return s.name.compare(section, Qt::CaseInsensitive) == 0; });
    reindex_sections();
}

bool IniFile::rename_section(const QString &old_name, const QString &new_name)
{
    const QString name = one_line(new_name).trimmed();
    bool renamed = false;
    for (Section &s : sections_) {
        if (s.name != old_name)
            continue;
        s.name = name;
        s.header = QLatin1Char('[') + name + QLatin1Char(']');
        renamed = true;
    }
    if (renamed)
        reindex_sections();
    return renamed;
}

void IniFile::clear()
{
    preamble_.clear();
    sections_.clear();
    first_section_.clear();
}

QByteArray IniFile::to_bytes() const
{
    const QLatin1StringView eol = crlf_ ? QLatin1StringView("\r\n") : QLatin1StringView("\n");
    QString text;
    auto add = [&](const QString &line) {
        text += line;
        text += eol;
    };
    for (const Line &line : preamble_)
        add(line.text);
    for (const Section &section : sections_) {
        add(section.header);
        for (const Line &line : section.lines)
            add(line.text);
    }
    return text.toUtf8();
}

bool IniFile::save(const QString &temp_file_name, QString *error) const
{
    const QString temp = temp_file_name.isEmpty()
                             ? QFileInfo(path_).fileName() + QStringLiteral(".tmp")
                             : temp_file_name;
    return replace_file(path_, to_bytes(), temp, error);
}

bool IniFile::update(const QString &path, const std::function<bool(IniFile &)> &edit,
                     QString *error, const QString &temp_file_name)
{
    std::lock_guard guard(update_mutex());
    const QString target = resolved_target(path);
    WriterLock lock(target);
    if (!lock.acquire()) {
        if (error)
            *error = QStringLiteral("Cannot write %1: another program keeps writing it")
                         .arg(QDir::toNativeSeparators(path));
        return false;
    }
    IniFile ini(target);
    if (!ini.read_error().isEmpty()) {
        // Writing now would replace settings that could not be read.
        if (error)
            *error = ini.read_error();
        return false;
    }
    if (!edit(ini))
        return false;
    ini.path_ = target; // the edit may have replaced the whole document
    return ini.save(temp_file_name, error);
}

} // namespace dnc
