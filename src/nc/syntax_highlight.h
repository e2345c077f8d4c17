// Colouring of NC lines in the editor (and in printing): five address rules
// and the comment rule, built from the application settings, and the per-line
// colouring `DisplayLine`.
//
// A display code is one number per character: text colour index x 100, plus
// 10 when bold, plus the background colour index (0 to 717). Colour indexes:
// 0 the editor's default (text colour, or background), 1 red, 2 lime,
// 3 yellow, 4 blue, 5 fuchsia, 6 aqua, 7 white.
#pragma once

#include <QChar>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>

namespace dnc
{

// One colouring rule.
struct syntax_record_type {
    int text_type = 0;          // 0 one address letter, 1 a text to find, 3 a letter with a value
    QChar address_character;    // first character of the rule's text (0 when empty)
    QString address_string;     // the rule's text (empty for type 0)
    float address_number = 0;   // type 3: the value after the letter
    int address_color = 0;      // colour index 0 to 7
    int address_style = 0;      // 1 bold, 0 normal
    int address_back_color = 0; // background colour index 0 to 7
};

// Rules 1 to 5 (index 0 to 4) are address rules; rule 6 (index 5) is the
// comment rule.
using HighlightRules = std::array<syntax_record_type, 6>;
inline constexpr int kCommentRule = 5;

// The application settings the rules are built from, as stored in DNC.ini
// (the colour values are the colour names "clBlack", "clRed", ...).
struct HighlightSettings {
    std::array<QString, 5> Address;   // "Address1" to "Address5"
    std::array<QString, 5> Color;     // "Color1" to "Color5"
    std::array<bool, 5> Bold{};       // "Bold1" to "Bold5"
    std::array<QString, 5> BackColor; // "BackColor1" to "BackColor5"
    QString CommentColor;
    bool CommentBold = false;
    QString CommentBackColor;
    bool UseColorHighlight = false;
};

// Colour index of a colour name: clRed 1, clLime 2, clYellow 3, clBlue 4,
// clFuchsia 5, clAqua 6, clWhite 7 (letter case ignored); black and anything
// else 0.
int color_index(QStringView name);

// 0xRRGGBB of a colour index 1 to 7; nothing for 0 (the editor's default).
std::optional<std::uint32_t> color_rgb(int index);

// The six rules for these settings.
HighlightRules build_highlight_rules(const HighlightSettings &settings);

// Rebuilds `rules` from the settings when UseColorHighlight is on; with
// colouring off the rules in memory stay as they were. Returns whether they
// were rebuilt.
bool update_highlight_rules(HighlightRules &rules, const HighlightSettings &settings);

// colour x 100 + 10 if bold + background.
inline int display_code(const syntax_record_type &rule)
{
    return rule.address_color * 100 + (rule.address_style == 1 ? 10 : 0) + rule.address_back_color;
}

struct DisplayCodeParts {
    int color = 0;
    bool bold = false;
    int back_color = 0;
};

inline DisplayCodeParts decode_display_code(int code)
{
    DisplayCodeParts parts;
    parts.color = code / 100;
    int rest = code % 100;
    if (rest >= 10) {
        parts.bold = true;
        rest -= 10;
    }
    parts.back_color = rest;
    return parts;
}

// What DisplayLine needs to know besides the rules: the application's
// options and the machine's state.
struct DisplayState {
    bool UseColorHighlight = false;
    bool editor_bold = false;                // the editor font's "Bold" option
    bool punching = false;                   // the machine is sending
    bool global_ignore_editor_click = false; // the editor is read-only
    bool auto_dnc_flag = false;              // auto-serve
};

// The line's highlight: one display code per character of `line`, as a text
// of the same length. Nothing (the line is drawn plainly) when colouring is
// off or the machine is sending, its editor is read-only or it serves
// automatically.
//
// A letter with a rule colours itself and everything after it up to the next
// upper-case letter; "(" to ")" takes the comment colours whatever it holds;
// the rest keeps the base code (10 with the editor's Bold option, else 0). A
// word still running when a comment opens is not ended by it: an upper-case
// letter inside the comment ends it, otherwise the characters after ")" keep
// the comment colours until the next upper-case letter.
std::optional<QString> DisplayLine(const HighlightRules &rules, const DisplayState &state,
                                   QStringView line);

} // namespace dnc
