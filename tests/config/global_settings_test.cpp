#include "config/app_settings.h"
#include "config/global_settings.h"
#include "config_test_files.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace dnc
{
namespace
{

TEST(GlobalSettings, DefaultsAndStoredValues)
{
    const GlobalSettings defaults = load_global_settings(IniFile());
    EXPECT_FALSE(defaults.multi_server);
    EXPECT_FALSE(defaults.multi_instance);
    EXPECT_TRUE(defaults.last_machine.isEmpty());
    EXPECT_TRUE(defaults.save_last_machine);
    EXPECT_EQ(defaults.machine_file_tab, 1);
    EXPECT_FALSE(defaults.multi_select_files);
    EXPECT_FALSE(defaults.editor_read_only);
    EXPECT_FALSE(defaults.window_color);
    EXPECT_EQ(defaults.print_margin, 0);
    EXPECT_TRUE(defaults.ports.isEmpty());

    const GlobalSettings stored = load_global_settings(IniFile::from_bytes(
        "[dureravur]\nMULTISERVER=1\nMultiInstance=2\nLastMachine=Mill2\nSaveLastMachine=0\n"
        "MachineFileTab=0\nMultiSelectFiles=1\nEditorReadOnly=1\nWindowColor=1\nPrintMargin=x\n"));
    EXPECT_TRUE(stored.multi_server);
    EXPECT_TRUE(stored.multi_instance);
    EXPECT_EQ(stored.last_machine, "Mill2");
    EXPECT_FALSE(stored.save_last_machine);
    EXPECT_EQ(stored.machine_file_tab, 0);
    EXPECT_TRUE(stored.multi_select_files);
    EXPECT_TRUE(stored.editor_read_only);
    EXPECT_TRUE(stored.window_color);
    EXPECT_EQ(stored.print_margin, 0);

    const std::pair<const char *, const char *> last_machine[] = {
        {"0", ""}, {"", ""}, {"Lathe", "Lathe"}};
    for (const auto &[value, expected] : last_machine)
        EXPECT_EQ(load_global_settings(
                      IniFile::from_bytes(QByteArray("[DUREravur]\nLastMachine=") + value + "\n"))
                      .last_machine,
                  expected);
    EXPECT_EQ(load_global_settings(IniFile::from_bytes("[DUREravur]\nMachineFileTab=5\n"))
                  .machine_file_tab,
              1);
}

TEST(GlobalSettings, PortMap)
{
    const IniFile ini = IniFile::from_bytes(
        "[DUREravur]\nCom3=/dev/serial/by-id/usb-FTDI_1\nCOM9=socket://10.1.2.3:4001\n"
        "com03=/dev/shadowed\nCom0=/dev/zero-port\nCom=/dev/none\nComX=/dev/x\nCom4=\n"
        "CommentColor=clRed\nCom-2=/dev/minus\n[Mill]\nCom5=/dev/not-global\n");
    const QMap<int, QString> ports = port_map(ini);
    const QMap<int, QString> expected = {{3, "/dev/serial/by-id/usb-FTDI_1"},
                                         {9, "socket://10.1.2.3:4001"}};
    EXPECT_EQ(ports, expected);
    EXPECT_EQ(load_global_settings(ini).ports, expected);
}

TEST(GlobalSettings, CloseStateIsWrittenAsTheWindowLeftIt)
{
    QTemporaryDir dir;
    const QString path = dnc_ini_path(dir.path());
    test::write_file(path, "[DUREravur]\nSplitterPercent=40\n");
    CloseState state;
    state.last_machine = "Mill2";
    state.print_columns = 3;
    state.machine_file_tab = 4;
    QString error;
    ASSERT_TRUE(save_close_state(path, state, &error)) << error.toStdString();
    IniFile ini(path);
    EXPECT_EQ(ini.read_string("DUREravur", "LastMachine"), "Mill2");
    EXPECT_EQ(ini.read_int("DUREravur", "PrintColumns", 0), 3);
    EXPECT_EQ(ini.read_int("DUREravur", "MachineFileTab", 9), 1);
    EXPECT_EQ(ini.read_int("DUREravur", "SplitterPercent", 0), 40);

    state.save_splitter_position = true;
    state.splitter_percent = 75;
    state.machine_file_tab = 0;
    ASSERT_TRUE(save_close_state(path, state, &error));
    ini = IniFile(path);
    EXPECT_EQ(ini.read_int("DUREravur", "SplitterPercent", 0), 75);
    EXPECT_EQ(ini.read_int("DUREravur", "MachineFileTab", 9), 0);
}

TEST(AppSettings, DefaultsAndReadRules)
{
    const AppSettings d = load_app_settings(IniFile());
    EXPECT_EQ(d.edit_font_size, 9);
    EXPECT_FALSE(d.large_editor_font());
    EXPECT_EQ(d.file_font_size, 9);
    EXPECT_TRUE(d.setup_print);
    EXPECT_EQ(d.print_columns, 1);
    EXPECT_FALSE(d.print_color);
    EXPECT_FALSE(d.save_splitter_position);
    EXPECT_EQ(d.splitter_percent, 60);
    for (const AddressHighlight &rule : d.address_highlights) {
        EXPECT_TRUE(rule.address.isEmpty());
        EXPECT_EQ(rule.colour, "clBlack");
        EXPECT_FALSE(rule.bold);
        EXPECT_EQ(rule.back_colour, "clBlack");
    }
    EXPECT_EQ(d.comment_colour, "clBlack");
    EXPECT_EQ(d.comment_back_colour, "clBlack");
    EXPECT_FALSE(d.use_color_highlight);
    EXPECT_FALSE(d.multi_server);
    EXPECT_FALSE(d.mazatrol_camware);
    EXPECT_FALSE(d.remote);
    EXPECT_EQ(d.ip_port, 8082);
    EXPECT_TRUE(d.ip_address.isEmpty());

    struct Case {
        const char *keys;
        std::function<int(const AppSettings &)> get;
        int expected;
    };
    const auto splitter = [](const AppSettings &s) { return s.splitter_percent; };
    const auto port = [](const AppSettings &s) { return s.ip_port; };
    const Case cases[] = {
        {"FileFontSize=10", [](const AppSettings &s) { return int(s.large_file_font()); }, 0},
        {"FileFontSize=12", [](const AppSettings &s) { return int(s.large_file_font()); }, 1},
        {"SplitterPercent=30", splitter, 60},
        {"SaveSplitterPosition=1\nSplitterPercent=30", splitter, 30},
        {"SaveSplitterPosition=1\nSplitterPercent=95", splitter, 90},
        {"SaveSplitterPosition=1\nSplitterPercent=2", splitter, 10},
        {"IPPort=9000", port, 9000},
        {"IPPort=0", port, 8082},
        {"IPPort=70000", port, 8082},
        {"MAZATROLCamware=1", [](const AppSettings &s) { return int(s.mazatrol_camware); }, 1},
    };
    for (const Case &c : cases) {
        const AppSettings s =
            load_app_settings(IniFile::from_bytes(QByteArray("[DUREravur]\n") + c.keys + "\n"));
        EXPECT_EQ(c.get(s), c.expected) << c.keys;
    }
}

TEST(AppSettings, SaveWritesWhatTheWindowEditsAndReloads)
{
    QTemporaryDir dir;
    const QString path = dnc_ini_path(dir.path());
    test::write_file(path, "[DUREravur]\nIPPort=9100\nPrintColor=1\nSaveSplitterPosition=1\n"
                           "SplitterPercent=33\n");
    AppSettings s = load_app_settings(IniFile(path));
    s.edit_font_size = 12;
    s.file_bold = true;
    s.setup_print = false;
    s.print_columns = 2;
    s.address_highlights[0] = {"X", "clRed", true, "clYellow"};
    s.address_highlights[4] = {"G1", "clBlue", false, "clWhite"};
    s.comment_colour = "clLime";
    s.comment_bold = true;
    s.use_color_highlight = true;
    s.multi_server = true;
    s.mazatrol_camware = true;
    s.remote = true;
    s.ip_address = "10.0.0.5";
    s.ip_port = 1234;        // read only
    s.splitter_percent = 80; // read only
    QString error;
    ASSERT_TRUE(save_app_settings(path, s, &error)) << error.toStdString();

    const IniFile ini(path);
    EXPECT_EQ(ini.read_string("DUREravur", "Address1"), "X");
    EXPECT_EQ(ini.read_string("DUREravur", "BackColor5"), "clWhite");
    EXPECT_EQ(ini.read_int("DUREravur", "IPPort", 0), 9100);
    EXPECT_EQ(ini.read_int("DUREravur", "SplitterPercent", 0), 33);

    const AppSettings r = load_app_settings(ini);
    EXPECT_TRUE(r.large_editor_font());
    EXPECT_TRUE(r.file_bold);
    EXPECT_FALSE(r.setup_print);
    EXPECT_EQ(r.print_columns, 2);
    EXPECT_TRUE(r.print_color);
    EXPECT_EQ(r.address_highlights[0].colour, "clRed");
    EXPECT_TRUE(r.address_highlights[0].bold);
    EXPECT_EQ(r.address_highlights[0].back_colour, "clYellow");
    EXPECT_EQ(r.address_highlights[4].address, "G1");
    EXPECT_EQ(r.comment_colour, "clLime");
    EXPECT_TRUE(r.comment_bold);
    EXPECT_TRUE(r.use_color_highlight);
    EXPECT_TRUE(r.multi_server);
    EXPECT_TRUE(r.mazatrol_camware);
    EXPECT_TRUE(r.remote);
    EXPECT_EQ(r.ip_address, "10.0.0.5");
    EXPECT_EQ(r.ip_port, 9100);
    EXPECT_EQ(r.splitter_percent, 33);

    ASSERT_TRUE(save_remote_settings(path, false, "10.0.0.6", &error));
    const AppSettings off = load_app_settings(IniFile(path));
    EXPECT_FALSE(off.remote);
    EXPECT_EQ(off.ip_address, "10.0.0.6");
}

} // namespace
} // namespace dnc
