#include "config/settings_io.h"
#include "config_test_files.h"
#include "dnc_version.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace dnc
{
namespace
{

using Record = MachineSettingsRecord;

IniFile machine_section(const QByteArray &keys)
{
    return IniFile::from_bytes("[Mill]\n" + keys);
}

void load(const QByteArray &keys, Record &record, const SettingsHooks &hooks = {})
{
    load_machine_settings(machine_section(keys), "Mill", "/data/", record, hooks);
}

// A number or switch of the record, as an int.
using Field = std::function<int(const Record &)>;

TEST(MachineSettingsLoad, AnEmptySectionGivesTheDefaults)
{
    struct Case {
        const char *field;
        Field get;
        int expected;
    };
    const Case numbers[] = {
        {"punch_format", [](const Record &r) { return r.punch_format; }, PunchAscii},
        {"comm_handshake", [](const Record &r) { return r.comm_handshake; }, HandshakeHwXonXoff},
        {"punch_wait", [](const Record &r) { return r.punch_wait; }, 0},
        {"comm_port", [](const Record &r) { return r.comm_port; }, 1},
        {"comm_baud_rate", [](const Record &r) { return r.comm_baud_rate; }, 4800},
        {"comm_parity", [](const Record &r) { return int(r.comm_parity.unicode()); }, 'E'},
        {"comm_data_bits", [](const Record &r) { return r.comm_data_bits; }, 7},
        {"comm_stop_bits", [](const Record &r) { return r.comm_stop_bits; }, 2},
        {"EOB_type", [](const Record &r) { return r.EOB_type; }, EobCrLf},
        {"WaitForSignalChecked", [](const Record &r) { return int(r.WaitForSignalChecked); }, 1},
        {"SelectStart", [](const Record &r) { return int(r.SelectStart); }, 0},
        {"file_type", [](const Record &r) { return r.file_type; }, FileNormal},
        {"auto_dnc_flag", [](const Record &r) { return int(r.auto_dnc_flag); }, 0},
        {"StripComments", [](const Record &r) { return int(r.StripComments); }, 0},
        {"StripBlankLines", [](const Record &r) { return int(r.StripBlankLines); }, 0},
        {"EndChar34", [](const Record &r) { return int(r.EndChar34); }, 0},
        {"EndChar20", [](const Record &r) { return int(r.EndChar20); }, 1},
        {"EndSecondPercent", [](const Record &r) { return int(r.EndSecondPercent); }, 0},
        {"EndOnString", [](const Record &r) { return int(r.EndOnString); }, 0},
        {"SendChar20", [](const Record &r) { return int(r.SendChar20); }, 1},
        {"UseSubprograms", [](const Record &r) { return int(r.UseSubprograms); }, 0},
        {"UseLOOP", [](const Record &r) { return int(r.UseLOOP); }, 0},
        {"MAX_LOG", [](const Record &r) { return r.MAX_LOG; }, 6},
        {"MaxLog", [](const Record &r) { return r.MaxLog; }, 0},
        {"send_char_or_line", [](const Record &r) { return r.send_char_or_line; }, 0},
        {"in_buffer", [](const Record &r) { return r.in_buffer; }, 4096},
        {"out_buffer", [](const Record &r) { return r.out_buffer; }, 2048},
        {"FilterFiles", [](const Record &r) { return int(r.FilterFiles); }, 0},
        {"RenumberStart", [](const Record &r) { return r.RenumberStart; }, 5},
        {"RenumberIncrement", [](const Record &r) { return r.RenumberIncrement; }, 5},
        {"always_init_comm", [](const Record &r) { return int(r.always_init_comm); }, 1},
        {"AfterReceiveTimer", [](const Record &r) { return int(r.AfterReceiveTimer); }, 0},
        {"AutoReceiveSeconds", [](const Record &r) { return r.AutoReceiveSeconds; }, 2},
    };
    const std::pair<const char *, QString Record::*> texts[] = {
        {"", &Record::BeforeString},         {"", &Record::AfterString},
        {".*", &Record::DefaultExtension},   {"", &Record::DefaultReadDirectory},
        {"", &Record::DefaultSaveDirectory}, {"", &Record::backup_directory},
        {"", &Record::EndofReceiveString},   {"(", &Record::StartCommentChar},
        {")", &Record::EndCommentChar},      {"(G*", &Record::GetCommand},
        {"(S*", &Record::SaveCommand},       {"(L*", &Record::LogCommand},
        {"(X*", &Record::ResetCommand},      {"(A*", &Record::AutoSaveCommand},
        {"O0099", &Record::LogProgNumber},   {"", &Record::StripChars},
        {"", &Record::ReceiveLineScript},    {"", &Record::SendLineScript},
        {"", &Record::SendButtonScript},     {"", &Record::ReceiveButtonScript},
        {"", &Record::sub_file_prefix},      {"", &Record::CharTransFile},
    };
    // An empty section, a missing section and a missing file read alike.
    const IniFile sources[] = {machine_section(""), IniFile::from_bytes("[Other]\nPunchType=3\n"),
                               IniFile("/nonexistent/DNC.ini")};
    for (const IniFile &ini : sources) {
        Record r;
        load_machine_settings(ini, "Mill", "/data/", r);
        for (const Case &c : numbers)
            EXPECT_EQ(c.get(r), c.expected) << c.field;
        for (const auto &[expected, field] : texts)
            EXPECT_EQ(r.*field, expected);
    }
}

TEST(MachineSettingsLoad, AdjustsValuesAsRead)
{
    struct Case {
        const char *keys;
        Field get;
        int expected;
    };
    const Field handshake = [](const Record &r) { return r.comm_handshake; };
    const Field parity = [](const Record &r) { return int(r.comm_parity.unicode()); };
    const Field data_bits = [](const Record &r) { return r.comm_data_bits; };
    const Field stop_bits = [](const Record &r) { return r.comm_stop_bits; };
    const Field eob = [](const Record &r) { return r.EOB_type; };
    const Field in_buffer = [](const Record &r) { return r.in_buffer; };
    const Field out_buffer = [](const Record &r) { return r.out_buffer; };
    const Field start = [](const Record &r) { return r.RenumberStart; };
    const Field increment = [](const Record &r) { return r.RenumberIncrement; };
    const Field seconds = [](const Record &r) { return r.AutoReceiveSeconds; };
    const Field by_line = [](const Record &r) { return r.send_char_or_line; };
    const Field init_comm = [](const Record &r) { return int(r.always_init_comm); };
    const Field max_log = [](const Record &r) { return r.MAX_LOG; };
    const Field punch_wait = [](const Record &r) { return r.punch_wait; };
    const Field baud = [](const Record &r) { return r.comm_baud_rate; };
    const Field subprograms = [](const Record &r) { return int(r.UseSubprograms); };
    const Case cases[] = {
        {"CommHandshake=0", handshake, HandshakeXonXoff},
        {"CommHandshake=1", handshake, HandshakeNone},
        {"CommHandshake=4", handshake, HandshakeRtsCts},
        {"CommHandshake=3", handshake, HandshakeHwXonXoff},
        {"CommHandshake=-1", handshake, HandshakeHwXonXoff},
        {"CommHandshake=x", handshake, HandshakeHwXonXoff},
        {"CommParity=odd", parity, 'o'},
        {"CommParity=NONE", parity, 'N'},
        {"CommParity=", parity, 'N'},
        {"CommDataBits=8", data_bits, 8},
        {"CommDataBits=9", data_bits, 7},
        {"CommDataBits=6", data_bits, 7},
        {"CommStopBits=1", stop_bits, 1},
        {"CommStopBits=0", stop_bits, 2},
        {"CommStopBits=3", stop_bits, 2},
        {"EOB=2", eob, EobLf},
        {"EOB=3", eob, EobCrLf},
        {"EOB=-1", eob, EobCrLf},
        {"InBuffer=100", in_buffer, 1024},
        {"InBuffer=200000", in_buffer, 125000},
        {"InBuffer=8192", in_buffer, 8192},
        {"OutBuffer=100", out_buffer, 1024},
        {"OutBuffer=999999", out_buffer, 125000},
        {"RenumberStart=0", start, 5},
        {"RenumberStart=100", start, 100},
        {"RenumberStart=101", start, 5},
        {"RenumberIncrement=0", increment, 0},
        {"RenumberIncrement=101", increment, 5},
        {"AutoReceiveSeconds=30", seconds, 30},
        {"AutoReceiveSeconds=45", seconds, 0},
        {"AutoReceiveSeconds=-1", seconds, 0},
        {"SendByLine=1", by_line, 0},
        {"AlwaysInitComm=0", init_comm, 1},
        {"MaxLog=20", max_log, 20},
        {"PunchWait=500", punch_wait, 500},
        {"CommBaudRate=250000", baud, 250000},
        {"CommBaudRate=fast", baud, 4800},
        {"usesubprograms=1", subprograms, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys);
        Record r;
        load(QByteArray(c.keys) + "\n", r);
        EXPECT_EQ(c.get(r), c.expected);
    }
}

TEST(MachineSettingsLoad, AutoServeRule)
{
    struct Case {
        const char *keys;
        bool auto_serve;
        bool wait_for_signal;
    };
    const Case cases[] = {
        {"AutoServe=1\nWaitForSignal=0", true, true},
        {"AutoServe=0\nWaitForSignal=0", false, false},
        {"AutoServe=0", false, true},
        {"FileType=2\nAutoServe=1", false, false},
        {"FileType=1\nAutoServe=1\nWaitForSignal=1", false, false},
        {"FileType=3\nWaitForSignal=1", false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys);
        Record r;
        load(QByteArray(c.keys) + "\n", r);
        EXPECT_EQ(r.auto_dnc_flag, c.auto_serve);
        EXPECT_EQ(r.WaitForSignalChecked, c.wait_for_signal);
    }
}

TEST(MachineSettingsLoad, FoldersExtensionsAndScripts)
{
    Record r;
    load("DefaultExt=*.NC\nDefaultDir=/nc/progs\nDefaultSaveDir=/nc/in/\nBackupDirectory=/nc/v1.2\n"
         "FilterFiles=1\nSendEvent=send.pcu\nReceiveEvent=/scripts/receive.pcu\n"
         "InputFilter=in.pcu\nSubFilePrefix=SUB\nCharTransFile=/tables/fanuc.txt\n",
         r);
    EXPECT_EQ(r.DefaultExtension, ".NC");
    EXPECT_EQ(r.DefaultReadDirectory, "/nc/progs/");
    EXPECT_EQ(r.DefaultSaveDirectory, "/nc/in/");
    EXPECT_EQ(r.backup_directory, "/nc/v1.2");
    EXPECT_TRUE(r.FilterFiles);
    EXPECT_EQ(r.SendButtonScript, "/data/send.pcu");
    EXPECT_EQ(r.ReceiveButtonScript, "/scripts/receive.pcu");
    EXPECT_EQ(r.ReceiveLineScript, "in.pcu");
    EXPECT_EQ(r.sub_file_prefix, "SUB");
    EXPECT_EQ(r.CharTransFile, "/tables/fanuc.txt");

    // The user-data folder is joined with one "/" whether or not it ends with one.
    Record bare;
    load_machine_settings(machine_section("SendEvent=send.pcu\n"), "Mill", "/data", bare);
    EXPECT_EQ(bare.SendButtonScript, "/data/send.pcu");
}

TEST(MachineSettingsLoad, HooksAndGlobalFolder)
{
    int translation_loads = 0;
    QString translated_from;
    SettingsHooks hooks;
    hooks.translate_strip_chars = [&](const QString &text) {
        translated_from = text;
        return QStringLiteral("<translated>");
    };
    hooks.load_translation_file = [&](Record &record) {
        ++translation_loads;
        record.trans_chars_out[65] = 66;
    };

    const IniFile ini = IniFile::from_bytes("[DUREravur]\nMarlixPath=/opt/sheets\n"
                                            "[Mill]\nStripChars=<13>%\nPunchType=2\n"
                                            "[Lathe]\nStripChars=x\nPunchType=3\n");
    Record mill;
    load_machine_settings(ini, "mill", "/data/", mill, hooks);
    EXPECT_EQ(translated_from, "<13>%");
    EXPECT_EQ(mill.translated_strip_chars_string, "<translated>");
    EXPECT_EQ(translation_loads, 1);
    EXPECT_EQ(mill.trans_chars_out[65], 66);
    EXPECT_EQ(marlix_folder(), "/opt/sheets/");

    Record lathe;
    load_machine_settings(ini, "Lathe", "/data/", lathe, hooks);
    EXPECT_EQ(translation_loads, 1);

    // Without the tape-code hook nothing is stripped.
    Record plain;
    load_machine_settings(ini, "Lathe", "/data/", plain);
    EXPECT_EQ(plain.StripChars, "x");
    EXPECT_TRUE(plain.translated_strip_chars_string.isEmpty());

    load_machine_settings(IniFile(), "Lathe", "/data/", plain);
    EXPECT_TRUE(marlix_folder().isEmpty());
}

// ---- writing ----

// A record as the settings dialog leaves it before "Save".
void fill(Record &r)
{
    r.punch_format = PunchIso;
    r.comm_handshake = HandshakeRtsCts;
    r.punch_wait = 20;
    r.comm_port = 3;
    r.comm_baud_rate = 9600;
    r.comm_parity = QChar(u'E');
    r.comm_data_bits = 8;
    r.comm_stop_bits = 1;
    r.EOB_type = EobLf;
    r.WaitForSignalChecked = false;
    r.auto_dnc_flag = false;
    r.file_type = FileNormal;
    r.BeforeString = "%";
    r.AfterString = "<20>";
    r.DefaultExtension = "nc";
    r.DefaultReadDirectory = " /nc/progs ";
    r.DefaultSaveDirectory = "/nc/in/";
    r.backup_directory = "";
    r.EndofReceiveString = "M30";
    r.StripComments = true;
    r.StartCommentChar = "(";
    r.EndCommentChar = ")";
    r.EndOnString = true;
    r.SendChar20 = false;
    r.UseSubprograms = true;
    r.GetCommand = "(GET*";
    r.StripChars = "<13>";
    r.ReceiveLineScript = "in.pcu";
    r.SendButtonScript = "/data/send.pcu";
    r.send_char_or_line = 1;
    r.in_buffer = 8192;
    r.out_buffer = 4096;
    r.FilterFiles = true;
    r.RenumberStart = 10;
    r.RenumberIncrement = 2;
    r.always_init_comm = true;
    r.AfterReceiveTimer = true;
    r.AutoReceiveSeconds = 5;
    r.CharTransFile = "/tables/t.txt";
    r.SelectStart = true;
    r.MAX_LOG = 12;
    r.sub_file_prefix = "SUB";
}

TEST(MachineSettingsWrite, StoresEveryKeyAndReloadsToTheSameSettings)
{
    Record written;
    fill(written);
    IniFile ini;
    write_machine_settings(ini, "Mill", written, false);
    const IniFile stored = IniFile::from_bytes(ini.to_bytes());

    EXPECT_EQ(stored.read_string("DUREravur", "Version"), DNC_VERSION_STRING);
    EXPECT_EQ(stored.keys("Mill").mid(0, 2), QStringList({"CommBaudRate", "CommPort"}));
    EXPECT_TRUE(stored.keys("Mill").contains("UseSubPrograms"));
    EXPECT_EQ(stored.read_string("Mill", "SendByLine"), "1");
    EXPECT_EQ(stored.read_string("Mill", "DefaultExt"), ".nc");
    EXPECT_EQ(stored.read_string("Mill", "DefaultDir"), "/nc/progs/");
    for (const char *key : {"MaxLog", "SubFilePrefix", "SelectStart", "CharTransFile"})
        EXPECT_FALSE(stored.has_key("Mill", key)) << key;

    Record loaded;
    load_machine_settings(stored, "Mill", "/data/", loaded);
    EXPECT_EQ(loaded.punch_format, written.punch_format);
    EXPECT_EQ(loaded.comm_handshake, written.comm_handshake);
    EXPECT_EQ(loaded.punch_wait, written.punch_wait);
    EXPECT_EQ(loaded.comm_port, written.comm_port);
    EXPECT_EQ(loaded.comm_baud_rate, written.comm_baud_rate);
    EXPECT_EQ(loaded.comm_parity, written.comm_parity);
    EXPECT_EQ(loaded.comm_data_bits, written.comm_data_bits);
    EXPECT_EQ(loaded.comm_stop_bits, written.comm_stop_bits);
    EXPECT_EQ(loaded.EOB_type, written.EOB_type);
    EXPECT_EQ(loaded.WaitForSignalChecked, written.WaitForSignalChecked);
    EXPECT_EQ(loaded.BeforeString, written.BeforeString);
    EXPECT_EQ(loaded.AfterString, written.AfterString);
    EXPECT_EQ(loaded.DefaultExtension, written.DefaultExtension);
    EXPECT_EQ(loaded.DefaultReadDirectory, written.DefaultReadDirectory);
    EXPECT_EQ(loaded.DefaultSaveDirectory, written.DefaultSaveDirectory);
    EXPECT_EQ(loaded.EndofReceiveString, written.EndofReceiveString);
    EXPECT_EQ(loaded.StripComments, written.StripComments);
    EXPECT_EQ(loaded.EndOnString, written.EndOnString);
    EXPECT_EQ(loaded.SendChar20, written.SendChar20);
    EXPECT_EQ(loaded.UseSubprograms, written.UseSubprograms);
    EXPECT_EQ(loaded.GetCommand, written.GetCommand);
    EXPECT_EQ(loaded.StripChars, written.StripChars);
    EXPECT_EQ(loaded.ReceiveLineScript, written.ReceiveLineScript);
    EXPECT_EQ(loaded.SendButtonScript, written.SendButtonScript);
    EXPECT_EQ(loaded.in_buffer, written.in_buffer);
    EXPECT_EQ(loaded.out_buffer, written.out_buffer);
    EXPECT_EQ(loaded.FilterFiles, written.FilterFiles);
    EXPECT_EQ(loaded.RenumberStart, written.RenumberStart);
    EXPECT_EQ(loaded.RenumberIncrement, written.RenumberIncrement);
    EXPECT_EQ(loaded.AfterReceiveTimer, written.AfterReceiveTimer);
    EXPECT_EQ(loaded.AutoReceiveSeconds, written.AutoReceiveSeconds);
    // Stored, but the loader always sends by character.
    EXPECT_EQ(loaded.send_char_or_line, 0);
}

TEST(MachineSettingsWrite, CorrectsValuesBeforeStoring)
{
    struct Case {
        const char *label;
        std::function<void(Record &)> set;
        const char *key;
        const char *stored;
    };
    const Case cases[] = {
        {"port 0", [](Record &r) { r.comm_port = 0; }, "CommPort", "1"},
        {"port 300", [](Record &r) { r.comm_port = 300; }, "CommPort", "1"},
        {"port 255", [](Record &r) { r.comm_port = 255; }, "CommPort", "255"},
        {"delay 150", [](Record &r) { r.punch_wait = 150; }, "PunchWait", "100"},
        {"delay -5", [](Record &r) { r.punch_wait = -5; }, "PunchWait", "0"},
        {"parity o", [](Record &r) { r.comm_parity = QChar(u'o'); }, "CommParity", "O"},
        {"parity unset", [](Record &r) { r.comm_parity = QChar(); }, "CommParity", "N"},
        {"binary: no handshake",
         [](Record &r) {
             r.file_type = FileBinary;
             r.auto_dnc_flag = true;
         },
         "CommHandshake", "1"},
        {"binary: no auto-serve",
         [](Record &r) {
             r.file_type = FileBinary;
             r.auto_dnc_flag = true;
         },
         "AutoServe", "0"},
        {"binary: no wait for signal",
         [](Record &r) {
             r.file_type = FileBinary;
             r.WaitForSignalChecked = true;
         },
         "WaitForSignal", "0"},
        {"auto-serve waits for the signal",
         [](Record &r) {
             r.auto_dnc_flag = true;
             r.WaitForSignalChecked = false;
         },
         "WaitForSignal", "1"},
        {"empty extension", [](Record &r) { r.DefaultExtension = ""; }, "DefaultExt", ".*"},
        {"extension *.NC", [](Record &r) { r.DefaultExtension = "*.NC"; }, "DefaultExt", ".NC"},
        {"folder trimmed", [](Record &r) { r.DefaultSaveDirectory = "  /in  "; }, "DefaultSaveDir",
         "/in/"},
        {"renumber start 0", [](Record &r) { r.RenumberStart = 0; }, "RenumberStart", "5"},
        {"renumber increment 200", [](Record &r) { r.RenumberIncrement = 200; },
         "RenumberIncrement", "5"},
        {"idle seconds 31", [](Record &r) { r.AutoReceiveSeconds = 31; }, "AutoReceiveSeconds",
         "0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        Record r;
        fill(r);
        c.set(r);
        IniFile ini;
        write_machine_settings(ini, "Mill", r, false);
        EXPECT_EQ(ini.read_string("Mill", c.key), c.stored);
    }

    // The record shows what was stored.
    Record r;
    fill(r);
    r.comm_port = 0;
    r.file_type = FileBinary;
    IniFile ini;
    write_machine_settings(ini, "", r, false);
    EXPECT_EQ(r.comm_port, 1);
    EXPECT_EQ(r.comm_handshake, HandshakeNone);
    EXPECT_TRUE(ini.has_section("Default"));
}

TEST(MachineSettingsWrite, TranslationFileOnlyWhenChangedForTheOtherTapeCode)
{
    struct Case {
        int punch_format;
        bool changed;
        bool written;
    };
    const Case cases[] = {
        {PunchOther, true, true}, {PunchOther, false, false}, {PunchIso, true, false}};
    for (const Case &c : cases) {
        Record r;
        fill(r);
        r.punch_format = c.punch_format;
        IniFile ini;
        write_machine_settings(ini, "Mill", r, c.changed);
        EXPECT_EQ(ini.has_key("Mill", "CharTransFile"), c.written)
            << c.punch_format << " " << c.changed;
    }
}

TEST(MachineSettingsSave, WritesTheFileAndPutsTheSettingsInUse)
{
    QTemporaryDir dir;
    const QString path = dnc_ini_path(dir.path());
    test::write_file(path, "; shop settings\n[DUREravur]\nVersion=0.1\n[Mill]\nPunchType=1\n"
                           "CharTransFile=/old.txt\nSelectStart=1\n");
    int loads = 0;
    SettingsHooks hooks;
    hooks.translate_strip_chars = [](const QString &text) { return text.toUpper(); };
    hooks.load_translation_file = [&](Record &) { ++loads; };

    Record r;
    fill(r);
    r.punch_format = PunchOther;
    r.StripChars = "abc";
    QString error;
    ASSERT_TRUE(save_machine_settings(path, "Mill", r, true, hooks, &error)) << error.toStdString();
    EXPECT_EQ(r.translated_strip_chars_string, "ABC");
    EXPECT_EQ(loads, 1);

    const IniFile stored(path);
    EXPECT_EQ(stored.read_string("Mill", "CharTransFile"), "/tables/t.txt");
    EXPECT_EQ(stored.read_string("Mill", "SelectStart"), "1");
    EXPECT_EQ(stored.read_string("DUREravur", "Version"), DNC_VERSION_STRING);
    EXPECT_TRUE(test::read_file(path).startsWith("; shop settings\n"));

    ASSERT_TRUE(save_select_start(path, "Mill", false, &error));
    EXPECT_EQ(IniFile(path).read_string("Mill", "SelectStart"), "0");
}

TEST(MachineSettingsSave, BaudRateFromText)
{
    const std::pair<const char *, int> cases[] = {
        {"9600", 9600}, {" 115200 ", 115200}, {"", 4800}, {"fast", 4800}, {"96OO", 4800}};
    for (const auto &[text, rate] : cases)
        EXPECT_EQ(baud_rate_from_text(text), rate) << text;
}

} // namespace
} // namespace dnc
