#include "remote/remote_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dnc
{

namespace
{

bool is_separator(QChar c)
{
    return c == u'/' || c == u'\\';
}

// A path that the operating system can take: Qt turns a text with a NUL
// character into a shorter name, which must never name another file. A
// relative path would depend on the folder the server was started in.
bool usable_path(const QString &path)
{
    return QDir::isAbsolutePath(path) && !path.contains(QChar(0));
}

// Decodes the octal escapes of a mount point in /proc/self/mounts ("\040"
// is a space).
QString unescape_mount_point(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int code = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3 && code < 256) {
                out.append(static_cast<char>(code));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return QFile::decodeName(out);
}

bool under_volume_folder(const QString &mount_point)
{
    for (const char *base : {"/media", "/run/media", "/mnt"}) {
        const QString b = QString::fromLatin1(base);
        if (mount_point == b || mount_point.startsWith(b + u'/'))
            return true;
    }
    return false;
}

QDir listing_dir(const QString &folder)
{
    QDir dir(folder);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    return dir;
}

// Length of the UTF-8 sequence that `lead` starts, 1 for anything else.
int utf8_sequence_length(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

} // namespace

QString remote_local_path(const QString &requested)
{
    QString path = requested;
    path.replace(u'\\', u'/');
    if (path.size() >= 3 && path[0].isLetter() && path[0].unicode() < 128 && path[1] == u':' &&
        path[2] == u'/')
        path.remove(0, 2);
    else if (path.size() == 2 && path[0].isLetter() && path[0].unicode() < 128 && path[1] == u':')
        path = QStringLiteral("/");
    return path;
}

bool has_extension(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (path[i] == u'.')
            return true;
        if (is_separator(path[i]))
            return false;
    }
    return false;
}

QString join_remote_folder(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return name;
    if (is_separator(folder.back()))
        return folder + name;
    return folder + u'/' + name;
}

QString resolve_remote_filename(const QString &name, const QString &default_extension,
                                const QString &save_folder, const QString &file_list_folder)
{
    QString path = name;
    if (!default_extension.isEmpty() && !default_extension.contains(u'*') && !has_extension(path))
        path += default_extension;
    // A name is placed in a folder unless it is a full path: a relative
    // path would otherwise depend on the folder the server was started in.
    if (!QDir::isAbsolutePath(path))
        path = join_remote_folder(save_folder, path);
    if (!QDir::isAbsolutePath(path))
        path = join_remote_folder(file_list_folder, path);
    return path;
}

bool wildcard_match(const QString &pattern, const QString &name)
{
    if (pattern == QStringLiteral("*.*"))
        return true;
    // Greedy match that returns to the last "*" on a mismatch: linear in
    // practice and never exponential, whatever the pattern.
    qsizetype p = 0, n = 0, star = -1, star_n = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            star_n = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++star_n;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

QStringList file_system_roots_from_mounts(const QByteArray &mounts)
{
    QStringList roots{QStringLiteral("/")};
    for (const QByteArray &line : mounts.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 2)
            continue;
        QString mount_point = unescape_mount_point(fields[1]);
        if (!under_volume_folder(mount_point))
            continue;
        mount_point += u'/';
        if (!roots.contains(mount_point))
            roots.append(mount_point);
    }
    return roots;
}

QStringList file_system_roots()
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly))
        return {QStringLiteral("/")};
    return file_system_roots_from_mounts(mounts.readAll());
}

QStringList list_subfolders(const QString &folder, const QString &pattern, int limit)
{
    QStringList names;
    if (!usable_path(folder))
        return names;
    QDir dir = listing_dir(folder);
    dir.setFilter(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : dir.entryList()) {
        if (names.size() >= limit)
            break;
        if (wildcard_match(pattern, name))
            names.append(name);
    }
    return names;
}

QList<ListedFile> list_files(const QString &folder, const QString &pattern, int limit)
{
    QList<ListedFile> files;
    if (!usable_path(folder))
        return files;
    QDir dir = listing_dir(folder);
    dir.setFilter(QDir::Files);
    for (const QFileInfo &info : dir.entryInfoList()) {
        if (files.size() >= limit)
            break;
        if (wildcard_match(pattern, info.fileName()))
            files.append({info.fileName(), info.size(), info.lastModified()});
    }
    return files;
}

ViewedFile read_file_head(const QString &path, qint64 limit)
{
    ViewedFile result;
    if (!usable_path(path))
        return result;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {
    };
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return result;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return result;
    // The name may have been replaced by something else since the stat.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return result;
    }
    // Read one byte past the limit to tell a file of exactly `limit` bytes
    // from a longer one.
    const qint64 want = limit + 1;
    QByteArray bytes;
    char chunk[16384];
    bool failed = false;
    while (bytes.size() < want) {
        const auto ask = static_cast<size_t>(std::min<qint64>(sizeof chunk, want - bytes.size()));
        const ssize_t n = ::read(fd, chunk, ask);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failed = true;
        if (n <= 0)
            break;
        bytes.append(chunk, n);
    }
    ::close(fd);
    if (failed)
        return result;
    result.truncated = bytes.size() > limit;
    bytes.truncate(static_cast<qsizetype>(std::min<qint64>(bytes.size(), limit)));
    result.bytes = bytes;
    result.ok = true;
    return result;
}

QString text_from_bytes(const QByteArray &bytes, bool may_end_mid_character)
{
    qsizetype end = bytes.size();
    if (may_end_mid_character) {
        // Leave out a character whose bytes were cut off at the end.
        for (qsizetype i = end - 1; i >= 0 && i >= end - 3; --i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            if ((byte & 0xC0) == 0x80)
                continue;
            if (i + utf8_sequence_length(byte) > end)
                end = i;
            break;
        }
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes).first(end));
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

} // namespace dnc
