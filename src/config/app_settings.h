// The application settings: display, printing, address colouring,
// multi-machine mode, web remote and Mazatrol file style, all kept in the
// global section "DUREravur" of DNC.ini.
//
// Values are kept as stored; the NC layer builds the editor's highlight
// rules from the raw address texts and colour names.
#pragma once

#include "config/ini_file.h"

#include <QString>
#include <array>

namespace dnc
{

// Colour names as stored ("clBlack", "clRed", "clLime", "clYellow",
// "clBlue", "clFuchsia", "clAqua", "clWhite").
inline constexpr char kDefaultColourName[] = "clBlack";

// One address-colouring rule as stored: "Address<n>", "Color<n>",
// "Bold<n>", "BackColor<n>" (n = 1..5).
struct AddressHighlight {
    QString address; // what the rule colours (upper case)
    QString colour = QString::fromLatin1(kDefaultColourName);
    bool bold = false;
    QString back_colour = QString::fromLatin1(kDefaultColourName);
};

inline constexpr int kAddressHighlightCount = 5;
inline constexpr int kDefaultRemotePort = 8082;

struct AppSettings {
    int edit_font_size = 9;   // "EditFontSize": 12 is the large editor font, anything else small
    bool editor_bold = false; // "EditorBold"
    int file_font_size = 9;   // "FileFontSize": 12 large, anything else small
    bool file_bold = false;   // "FileBold"
    bool setup_print = true;  // "SetupPrint": setup sheets printed (true) or previewed
    int print_columns = 1;    // "PrintColumns"
    bool print_color = false; // "PrintColor" (read only)
    bool save_splitter_position = false; // "SaveSplitterPosition" (read only)
    int splitter_percent = 60; // "SplitterPercent", 10..90, read only with the option above
    std::array<AddressHighlight, kAddressHighlightCount> address_highlights;
    QString comment_colour = QString::fromLatin1(kDefaultColourName);      // "CommentColor"
    bool comment_bold = false;                                             // "CommentBold"
    QString comment_back_colour = QString::fromLatin1(kDefaultColourName); // "CommentBackColor"
    bool use_color_highlight = false;                                      // "UseColorHighlight"
    bool multi_server = false;        // "MultiServer": the mode for the next start
    bool mazatrol_camware = false;    // "MazatrolCamware": Camware style (true) or Norvex
    bool remote = false;              // "Remote": web remote on
    int ip_port = kDefaultRemotePort; // "IPPort" (read only)
    QString ip_address;               // "IPAddress": address shown for the web remote

    bool large_editor_font() const { return edit_font_size == 12; }
    bool large_file_font() const { return file_font_size == 12; }
};

AppSettings load_app_settings(const IniFile &ini);

// The window's "Save": every key the application settings window edits
// ("PrintColor", "SaveSplitterPosition", "SplitterPercent" and "IPPort"
// are only read).
bool save_app_settings(const QString &ini_path, const AppSettings &settings, QString *error);

// Ticking or clearing the web remote box stores these two at once.
bool save_remote_settings(const QString &ini_path, bool remote, const QString &ip_address,
                          QString *error);

} // namespace dnc
