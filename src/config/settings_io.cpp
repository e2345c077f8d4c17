#include "config/settings_io.h"

#include "config/path_rules.h"
#include "dnc_version.h"

#include <algorithm>
#include <mutex>

namespace dnc
{

namespace
{

using Record = MachineSettingsRecord;

// Keys stored as text exactly as set, with their read defaults.
struct TextKey {
    const char *key;
    QString Record::*field;
    const char *fallback;
};
constexpr TextKey kTextKeys[] = {
    {"BeforeString", &Record::BeforeString, ""},
    {"AfterString", &Record::AfterString, ""},
    {"EndofReceiveString", &Record::EndofReceiveString, ""},
    {"StartCommentChar", &Record::StartCommentChar, "("},
    {"EndCommentChar", &Record::EndCommentChar, ")"},
    {"GetCommand", &Record::GetCommand, "(G*"},
    {"SaveCommand", &Record::SaveCommand, "(S*"},
    {"LogCommand", &Record::LogCommand, "(L*"},
    {"ResetCommand", &Record::ResetCommand, "(X*"},
    {"AutoSaveCommand", &Record::AutoSaveCommand, "(A*"},
    {"LogProgNumber", &Record::LogProgNumber, "O0099"},
    {"StripChars", &Record::StripChars, ""},
    {"InputFilter", &Record::ReceiveLineScript, ""},
    {"OutputFilter", &Record::SendLineScript, ""},
};

// Switches stored as "1"/"0" exactly as set, with their read defaults.
struct BoolKey {
    const char *key;
    bool Record::*field;
    bool fallback;
};
constexpr BoolKey kBoolKeys[] = {
    {"StripComments", &Record::StripComments, false},
    {"StripBlankLines", &Record::StripBlankLines, false},
    {"EndChar34", &Record::EndChar34, false},
    {"EndChar20", &Record::EndChar20, true},
    {"EndSecondPercent", &Record::EndSecondPercent, false},
    {"EndOnString", &Record::EndOnString, false},
    {"SendChar20", &Record::SendChar20, true},
    {"UseSubPrograms", &Record::UseSubprograms, false},
    {"UseLOOP", &Record::UseLOOP, false},
    {"ExistingOnly", &Record::ExistingOnly, false},
    {"AddSpaces", &Record::AddSpaces, false},
    {"IncludeComments", &Record::IncludeComments, false},
    {"AfterReceiveTimer", &Record::AfterReceiveTimer, false},
};

// Limits of the serial buffers, in bytes.
constexpr int kMinBuffer = 1024;
constexpr int kMaxBuffer = 125000;

int in_range_or(int value, int low, int high, int replacement)
{
    return value < low || value > high ? replacement : value;
}

bool is_stored_handshake(int mode)
{
    return mode == HandshakeXonXoff || mode == HandshakeNone || mode == HandshakeHwXonXoff ||
           mode == HandshakeRtsCts;
}

// Renumbering start 1..100 and increment 0..100, else 5; the receive idle
// time 0..30 s, else 0. The same rules hold for reading and writing.
int renumber_start_rule(int value)
{
    return in_range_or(value, 1, 100, 5);
}
int renumber_increment_rule(int value)
{
    return in_range_or(value, 0, 100, 5);
}
int receive_seconds_rule(int value)
{
    return in_range_or(value, 0, 30, 0);
}

// A script given as a bare file name lives in the user-data folder.
QString script_path(const QString &name, const QString &user_data_folder)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return name;
    QString folder = user_data_folder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + name;
}

QString translated_strip_chars(const Record &record, const SettingsHooks &hooks)
{
    return hooks.translate_strip_chars ? hooks.translate_strip_chars(record.StripChars) : QString();
}

// The corrections the writer makes before anything is stored.
void apply_writer_rules(Record &r)
{
    if (r.comm_port < 1 || r.comm_port > 255)
        r.comm_port = 1;
    r.punch_wait = std::clamp(r.punch_wait, 0, 100);
    const QChar parity = r.comm_parity.toUpper();
    r.comm_parity =
        (parity == QLatin1Char('O') || parity == QLatin1Char('E')) ? parity : QChar(u'N');
    if (r.file_type == FileBinary) {
        // A binary transfer has no requests and no flow control.
        r.auto_dnc_flag = false;
        r.WaitForSignalChecked = false;
        r.comm_handshake = HandshakeNone;
    } else if (r.auto_dnc_flag) {
        r.WaitForSignalChecked = true;
    }
    r.DefaultExtension = normalize_extension(r.DefaultExtension);
    r.DefaultReadDirectory = normalize_folder(r.DefaultReadDirectory.trimmed());
    r.DefaultSaveDirectory = normalize_folder(r.DefaultSaveDirectory.trimmed());
    r.backup_directory = normalize_folder(r.backup_directory.trimmed());
    r.FilterFiles = r.FilterFiles && !r.DefaultExtension.isEmpty();
    r.RenumberStart = renumber_start_rule(r.RenumberStart);
    r.RenumberIncrement = renumber_increment_rule(r.RenumberIncrement);
    r.AutoReceiveSeconds = receive_seconds_rule(r.AutoReceiveSeconds);
}

void write_keys(IniFile &ini, const QString &machine_name, const Record &r,
                bool translation_file_changed)
{
    const QString s = machine_section_name(machine_name);
    auto text = [&](const char *key, const QString &value) {
        ini.write_string(s, QLatin1String(key), value);
    };
    auto number = [&](const char *key, int value) { ini.write_int(s, QLatin1String(key), value); };
    auto flag = [&](const char *key, bool value) { ini.write_bool(s, QLatin1String(key), value); };

    number("CommBaudRate", r.comm_baud_rate);
    number("CommPort", r.comm_port);
    number("PunchType", r.punch_format);
    number("CommHandshake", r.comm_handshake);
    number("PunchWait", r.punch_wait);
    text("CommParity", QString(r.comm_parity));
    number("CommDataBits", r.comm_data_bits);
    number("CommStopBits", r.comm_stop_bits);
    number("EOB", r.EOB_type);
    flag("WaitForSignal", r.WaitForSignalChecked);
    number("FileType", r.file_type);
    flag("AutoServe", r.auto_dnc_flag);
    text("DefaultExt", r.DefaultExtension);
    text("DefaultDir", r.DefaultReadDirectory);
    text("DefaultSaveDir", r.DefaultSaveDirectory);
    text("BackupDirectory", r.backup_directory);
    for (const TextKey &key : kTextKeys)
        text(key.key, r.*key.field);
    for (const BoolKey &key : kBoolKeys)
        flag(key.key, r.*key.field);
    flag("SendByLine", r.send_char_or_line == 1);
    number("InBuffer", r.in_buffer);
    number("OutBuffer", r.out_buffer);
    flag("FilterFiles", r.FilterFiles);
    number("RenumberStart", r.RenumberStart);
    number("RenumberIncrement", r.RenumberIncrement);
    flag("AlwaysInitComm", r.always_init_comm);
    text("SendEvent", r.SendButtonScript);
    text("ReceiveEvent", r.ReceiveButtonScript);
    number("AutoReceiveSeconds", r.AutoReceiveSeconds);
    if (r.punch_format == PunchOther && translation_file_changed)
        text("CharTransFile", r.CharTransFile);
    ini.write_string(QLatin1String(kGlobalSection), QStringLiteral("Version"),
                     QStringLiteral(DNC_VERSION_STRING));
}

std::mutex &marlix_mutex()
{
    static std::mutex mutex;
    return mutex;
}
QString &marlix_value()
{
    static QString folder;
    return folder;
}

} // namespace

QString machine_section_name(const QString &machine_name)
{
    return machine_name.isEmpty() ? QString::fromLatin1(kDefaultMachineName) : machine_name;
}

void load_machine_settings(const IniFile &ini, const QString &machine_name,
                           const QString &user_data_folder, MachineSettingsRecord &r,
                           const SettingsHooks &hooks)
{
    const QString s = machine_section_name(machine_name);
    auto text = [&](const char *key, const char *fallback = "") {
        return ini.read_string(s, QLatin1String(key), QString::fromLatin1(fallback));
    };
    auto number = [&](const char *key, int fallback) {
        return ini.read_int(s, QLatin1String(key), fallback);
    };
    auto flag = [&](const char *key, bool fallback) {
        return ini.read_bool(s, QLatin1String(key), fallback);
    };

    r.punch_format = number("PunchType", PunchAscii);
    const int handshake = number("CommHandshake", HandshakeHwXonXoff);
    r.comm_handshake = is_stored_handshake(handshake) ? handshake : HandshakeHwXonXoff;
    r.punch_wait = number("PunchWait", 0);
    r.comm_port = number("CommPort", 1);
    r.comm_baud_rate = number("CommBaudRate", 4800);
    QString parity = text("CommParity", "EVEN");
    if (parity.isEmpty())
        parity = QStringLiteral("NONE");
    r.comm_parity = parity.at(0);
    r.comm_data_bits = in_range_or(number("CommDataBits", 7), 7, 8, 7);
    r.comm_stop_bits = in_range_or(number("CommStopBits", 2), 1, 2, 2);
    r.EOB_type = in_range_or(number("EOB", EobCrLf), EobCrLf, EobLf, EobCrLf);
    r.WaitForSignalChecked = flag("WaitForSignal", true);
    r.SelectStart = flag("SelectStart", false);
    r.file_type = number("FileType", FileNormal);
    r.auto_dnc_flag = flag("AutoServe", false);
    if (r.auto_dnc_flag)
        r.WaitForSignalChecked = true;
    if (r.file_type != FileNormal) {
        // Binary and Mazatrol transfers are started by the operator only.
        r.auto_dnc_flag = false;
        r.WaitForSignalChecked = false;
    }
    for (const TextKey &key : kTextKeys)
        r.*key.field = text(key.key, key.fallback);
    for (const BoolKey &key : kBoolKeys)
        r.*key.field = flag(key.key, key.fallback);
    r.DefaultExtension = normalize_extension(text("DefaultExt"));
    r.DefaultReadDirectory = normalize_folder(text("DefaultDir"));
    r.DefaultSaveDirectory = normalize_folder(text("DefaultSaveDir"));
    r.backup_directory = normalize_folder(text("BackupDirectory"));
    r.MAX_LOG = number("MaxLog", 6);
    r.in_buffer = std::clamp(number("InBuffer", 4096), kMinBuffer, kMaxBuffer);
    r.out_buffer = std::clamp(number("OutBuffer", 2048), kMinBuffer, kMaxBuffer);
    r.FilterFiles = flag("FilterFiles", false) && !r.DefaultExtension.isEmpty();
    r.RenumberStart = renumber_start_rule(number("RenumberStart", 5));
    r.RenumberIncrement = renumber_increment_rule(number("RenumberIncrement", 5));
    r.SendButtonScript = script_path(text("SendEvent"), user_data_folder);
    r.ReceiveButtonScript = script_path(text("ReceiveEvent"), user_data_folder);
    r.AutoReceiveSeconds = receive_seconds_rule(number("AutoReceiveSeconds", 2));
    r.sub_file_prefix = text("SubFilePrefix");
    r.CharTransFile = text("CharTransFile");

    // "SendByLine" is stored but every send goes by character, and the port
    // is always re-opened before a transfer ("AlwaysInitComm" is not read).
    r.send_char_or_line = 0;
    r.always_init_comm = true;

    set_marlix_folder(normalize_folder(
        ini.read_string(QLatin1String(kGlobalSection), QStringLiteral("MarlixPath"))));
    r.translated_strip_chars_string = translated_strip_chars(r, hooks);
    if (r.punch_format == PunchOther && hooks.load_translation_file)
        hooks.load_translation_file(r);
}

void write_machine_settings(IniFile &ini, const QString &machine_name,
                            MachineSettingsRecord &record, bool translation_file_changed)
{
    apply_writer_rules(record);
    write_keys(ini, machine_name, record, translation_file_changed);
}

bool save_machine_settings(const QString &ini_path, const QString &machine_name,
                           MachineSettingsRecord &record, bool translation_file_changed,
                           const SettingsHooks &hooks, QString *error)
{
    apply_writer_rules(record);
    const bool saved = IniFile::update(
        ini_path,
        [&](IniFile &ini) {
            write_keys(ini, machine_name, record, translation_file_changed);
            return true;
        },
        error);
    if (!saved)
        return false;
    record.translated_strip_chars_string = translated_strip_chars(record, hooks);
    if (record.punch_format == PunchOther && translation_file_changed &&
        hooks.load_translation_file)
        hooks.load_translation_file(record);
    return true;
}

bool save_select_start(const QString &ini_path, const QString &machine_name, bool select_start,
                       QString *error)
{
    return IniFile::update(
        ini_path,
        [&](IniFile &ini) {
            ini.write_bool(machine_section_name(machine_name), QStringLiteral("SelectStart"),
                           select_start);
            return true;
        },
        error);
}

int baud_rate_from_text(const QString &text)
{
    bool ok = false;
    const int rate = text.trimmed().toInt(&ok, 10);
    return ok ? rate : 4800;
}

QString marlix_folder()
{
    std::lock_guard lock(marlix_mutex());
    return marlix_value();
}

void set_marlix_folder(const QString &folder)
{
    std::lock_guard lock(marlix_mutex());
    marlix_value() = folder;
}

} // namespace dnc
