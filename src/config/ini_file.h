// DNC.ini and the other INI files of the user-data folder.
//
// An INI file is read whole into memory: sections and keys keep their file
// order, section and key names are matched without regard to letter case,
// values are kept as text. Reading never fails: a missing or unreadable
// file, binary garbage, lines without "=", keys before the first section or
// duplicate sections and keys all read as "no such key" or as the first
// value. Text is read as UTF-8; bytes that are not UTF-8 (a file written on
// Windows in its 8-bit code page) are taken as Latin-1. Files are written as
// UTF-8, keeping every line that was not changed as it was.
//
// Every write goes through IniFile::update(): the file is read afresh under a
// lock, changed, and replaced atomically (a temporary file in the same
// folder, flushed to disk, then renamed over the file), so neither a power cut
// nor a second writer (another thread or another running server) ever leaves
// a torn or mixed DNC.ini, and no writer loses another's changes.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <unordered_map>

namespace dnc
{

// The one spelling of the configuration file's name (file names are
// case-sensitive here, so every access uses this constant).
inline constexpr char kDncIniFileName[] = "DNC.ini";
// Scratch copy used while the machine list rewrites DNC.ini.
inline constexpr char kTempIniFileName[] = "temp.ini";
// Sections of DNC.ini that are not machines.
inline constexpr char kGlobalSection[] = "DUREravur";
inline constexpr char kDirsSection[] = "Dirs";
// The machine used when DNC.ini names none.
inline constexpr char kDefaultMachineName[] = "Default";

// Full path of DNC.ini in the user-data folder.
QString dnc_ini_path(const QString &user_data_folder);

class IniFile
{
public:
    // An empty document that belongs to no file.
    IniFile() = default;
    // Reads `path`. A missing or unreadable file gives an empty document.
    explicit IniFile(const QString &path);
    // Parses text held in memory (for tests and fuzzing).
    static IniFile from_bytes(const QByteArray &bytes);

    const QString &path() const { return path_; }
    // The file existed when it was read.
    bool file_exists() const { return exists_; }
    // Why an existing file could not be read; empty when it was read.
    const QString &read_error() const { return read_error_; }

    // Section names in file order, each once, in the spelling of its first
    // header. A header with an empty name is not listed.
    QStringList section_names() const;
    bool has_section(const QString &section) const;
    // Key names of the first section of that name, in file order, each once.
    QStringList keys(const QString &section) const;
    bool has_key(const QString &section, const QString &key) const;

    // The first value of the key in the first section of that name, trimmed
    // of blanks; `fallback` when the key is missing.
    QString read_string(const QString &section, const QString &key,
                        const QString &fallback = {}) const;
    // A decimal number; `fallback` when the key is missing or not a number.
    int read_int(const QString &section, const QString &key, int fallback) const;
    // "1"/"0": true for any number other than 0; `fallback` when the key is
    // missing or not a number.
    bool read_bool(const QString &section, const QString &key, bool fallback) const;

    // Sets the first occurrence of the key, or appends it to the section
    // (appending the section when it does not exist). Line breaks in names
    // and values are written as blanks, so a value can never add lines.
    void write_string(const QString &section, const QString &key, const QString &value);
    void write_int(const QString &section, const QString &key, int value);
    void write_bool(const QString &section, const QString &key, bool value);
    // Appends an empty section unless one of that name exists.
    void ensure_section(const QString &section);
    // Removes every section of that name with all its lines.
    void erase_section(const QString &section);
    // Gives every header whose name is exactly `old_name` (same letter case)
    // the name `new_name`; returns whether there was one. Nothing else moves.
    bool rename_section(const QString &old_name, const QString &new_name);
    // Drops every line, keeping the file's path and line-break style.
    void clear();

    // The document as UTF-8 text, in the file's line-break style.
    QByteArray to_bytes() const;

    // Reads the file at `path` afresh, lets `edit` change it and writes the
    // result atomically, all under the file's lock ("<file>.lock", an
    // advisory lock released when the process ends). `edit` returns false to
    // leave the file untouched (it then sets its own error text, if any).
    // The write goes through `temp_file_name` in the file's folder, or
    // through "<file>.tmp" when none is given. Returns false with the
    // system's error text in *error when the file exists but cannot be read,
    // cannot be replaced (a folder or file that may not be written), or the
    // lock is held elsewhere for too long; the file then keeps its content.
    static bool update(const QString &path, const std::function<bool(IniFile &)> &edit,
                       QString *error, const QString &temp_file_name = {});

private:
    // Finds names without regard to letter case, without copying them.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(QStringView name) const;
    };
    struct NameEqual {
        using is_transparent = void;
        bool operator()(QStringView a, QStringView b) const
        {
            return a.compare(b, Qt::CaseInsensitive) == 0;
        }
    };
    using NameIndex = std::unordered_map<QString, int, NameHash, NameEqual>;

    struct Line {
        QString text;  // the line as read or as generated, without line break
        QString key;   // empty when the line is not a "key=value" entry
        QString value; // trimmed value of an entry
    };
    struct Section {
        QString name;   // trimmed text between "[" and "]"
        QString header; // the header line itself
        QList<Line> lines;
        NameIndex first_key; // key name -> index into lines
    };

    void parse(const QByteArray &bytes);
    const Line *find_entry(const QString &section, const QString &key) const;
    Section &section_for_writing(const QString &section);
    void append_line(Section &section, Line line);
    void reindex_sections();
    bool save(const QString &temp_file_name, QString *error) const;

    QString path_;
    bool exists_ = false;
    QString read_error_;
    bool crlf_ = false;
    QList<Line> preamble_; // lines before the first header (never read as keys)
    QList<Section> sections_;
    NameIndex first_section_; // section name -> index of its first occurrence
};

} // namespace dnc
