#include "config/app_settings.h"

#include <algorithm>

namespace dnc
{

namespace
{

// The global section, for the calls below.
const QLatin1String kGlobal(kGlobalSection);

QString numbered(const char *key, int n)
{
    return QLatin1String(key) + QString::number(n);
}

void write_remote(IniFile &ini, bool remote, const QString &ip_address)
{
    ini.write_bool(kGlobal, QStringLiteral("Remote"), remote);
    ini.write_string(kGlobal, QStringLiteral("IPAddress"), ip_address);
}

} // namespace

AppSettings load_app_settings(const IniFile &ini)
{
    const QString g = kGlobal;
    const QString black = QString::fromLatin1(kDefaultColourName);
    AppSettings s;
    s.edit_font_size = ini.read_int(g, QStringLiteral("EditFontSize"), 9);
    s.editor_bold = ini.read_bool(g, QStringLiteral("EditorBold"), false);
    s.file_font_size = ini.read_int(g, QStringLiteral("FileFontSize"), 9);
    s.file_bold = ini.read_bool(g, QStringLiteral("FileBold"), false);
    s.setup_print = ini.read_bool(g, QStringLiteral("SetupPrint"), true);
    s.print_columns = ini.read_int(g, QStringLiteral("PrintColumns"), 1);
    s.print_color = ini.read_bool(g, QStringLiteral("PrintColor"), false);
    s.save_splitter_position = ini.read_bool(g, QStringLiteral("SaveSplitterPosition"), false);
    if (s.save_splitter_position)
        s.splitter_percent =
            std::clamp(ini.read_int(g, QStringLiteral("SplitterPercent"), 60), 10, 90);
    for (int n = 1; n <= kAddressHighlightCount; ++n) {
        AddressHighlight &rule = s.address_highlights[n - 1];
        rule.address = ini.read_string(g, numbered("Address", n));
        rule.colour = ini.read_string(g, numbered("Color", n), black);
        rule.bold = ini.read_bool(g, numbered("Bold", n), false);
        rule.back_colour = ini.read_string(g, numbered("BackColor", n), black);
    }
    s.comment_colour = ini.read_string(g, QStringLiteral("CommentColor"), black);
    s.comment_bold = ini.read_bool(g, QStringLiteral("CommentBold"), false);
    s.comment_back_colour = ini.read_string(g, QStringLiteral("CommentBackColor"), black);
    s.use_color_highlight = ini.read_bool(g, QStringLiteral("UseColorHighlight"), false);
    s.multi_server = ini.read_bool(g, QStringLiteral("MultiServer"), false);
    s.mazatrol_camware = ini.read_bool(g, QStringLiteral("MazatrolCamware"), false);
    s.remote = ini.read_bool(g, QStringLiteral("Remote"), false);
    // A port the web remote could never listen on falls back to the default.
    const int port = ini.read_int(g, QStringLiteral("IPPort"), kDefaultRemotePort);
    s.ip_port = port >= 1 && port <= 65535 ? port : kDefaultRemotePort;
    s.ip_address = ini.read_string(g, QStringLiteral("IPAddress"));
    return s;
}

bool save_app_settings(const QString &ini_path, const AppSettings &s, QString *error)
{
    return IniFile::update(
        ini_path,
        [&](IniFile &ini) {
            const QString g = kGlobal;
            ini.write_int(g, QStringLiteral("EditFontSize"), s.edit_font_size);
            ini.write_bool(g, QStringLiteral("EditorBold"), s.editor_bold);
            ini.write_int(g, QStringLiteral("FileFontSize"), s.file_font_size);
            ini.write_bool(g, QStringLiteral("FileBold"), s.file_bold);
            ini.write_bool(g, QStringLiteral("SetupPrint"), s.setup_print);
            ini.write_int(g, QStringLiteral("PrintColumns"), s.print_columns);
            for (int n = 1; n <= kAddressHighlightCount; ++n) {
                const AddressHighlight &rule = s.address_highlights[n - 1];
                ini.write_string(g, numbered("Address", n), rule.address);
                ini.write_string(g, numbered("Color", n), rule.colour);
                ini.write_bool(g, numbered("Bold", n), rule.bold);
                ini.write_string(g, numbered("BackColor", n), rule.back_colour);
            }
            ini.write_string(g, QStringLiteral("CommentColor"), s.comment_colour);
            ini.write_bool(g, QStringLiteral("CommentBold"), s.comment_bold);
            ini.write_string(g, QStringLiteral("CommentBackColor"), s.comment_back_colour);
            ini.write_bool(g, QStringLiteral("UseColorHighlight"), s.use_color_highlight);
            ini.write_bool(g, QStringLiteral("MultiServer"), s.multi_server);
            ini.write_bool(g, QStringLiteral("MazatrolCamware"), s.mazatrol_camware);
            write_remote(ini, s.remote, s.ip_address);
            return true;
        },
        error);
}

bool save_remote_settings(const QString &ini_path, bool remote, const QString &ip_address,
                          QString *error)
{
    return IniFile::update(
        ini_path,
        [&](IniFile &ini) {
            write_remote(ini, remote, ip_address);
            return true;
        },
        error);
}

} // namespace dnc
