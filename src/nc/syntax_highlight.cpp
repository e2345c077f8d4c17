#include "nc/syntax_highlight.h"

#include "nc/block_text.h"
#include "nc/expression.h"

namespace dnc
{

namespace
{

bool is_upper(QChar c)
{
    return c >= u'A' && c <= u'Z';
}

// The value after the letter of a type 3 rule ("G1", "M 30"): blanks,
// digits, "*", "+", "-", "." and "/" as far as they go.
float rule_value(QStringView text)
{
    qsizetype end = 1;
    while (end < text.size() &&
           (text[end] == u' ' || (text[end] != u'\t' && is_number_char(text[end]))))
        ++end;
    return float(evaluate_value(text.sliced(1, end - 1)));
}

} // namespace

int color_index(QStringView name)
{
    static constexpr const char16_t *kNames[] = {u"clRed",     u"clLime", u"clYellow", u"clBlue",
                                                 u"clFuchsia", u"clAqua", u"clWhite"};
    for (int i = 0; i < 7; ++i) {
        if (name.compare(QStringView(kNames[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

std::optional<std::uint32_t> color_rgb(int index)
{
    static constexpr std::uint32_t kRgb[] = {0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF,
                                             0xFF00FF, 0x00FFFF, 0xFFFFFF};
    if (index < 1 || index > 7)
        return std::nullopt;
    return kRgb[index - 1];
}

HighlightRules build_highlight_rules(const HighlightSettings &settings)
{
    HighlightRules rules;
    for (int n = 0; n < 5; ++n) {
        syntax_record_type &rule = rules[n];
        // The address fields take upper case only; a hand-edited lower-case
        // value means the same letter.
        const QString text = ascii_upper(settings.Address[n]);
        rule.address_character = text.isEmpty() ? QChar(0) : text[0];
        if (text.size() < 2) {
            rule.text_type = 0;
        } else if (is_upper(text[0]) && text[1] >= u'0' && text[1] <= u'9') {
            rule.text_type = 3;
            rule.address_string = text;
            rule.address_number = rule_value(text);
        } else {
            rule.text_type = 1;
            rule.address_string = text;
        }
        rule.address_color = color_index(settings.Color[n]);
        rule.address_style = settings.Bold[n] ? 1 : 0;
        rule.address_back_color = color_index(settings.BackColor[n]);
    }
    syntax_record_type &comment = rules[kCommentRule];
    comment.text_type = 0;
    comment.address_character = QLatin1Char('(');
    comment.address_color = color_index(settings.CommentColor);
    comment.address_style = settings.CommentBold ? 1 : 0;
    comment.address_back_color = color_index(settings.CommentBackColor);
    return rules;
}

bool update_highlight_rules(HighlightRules &rules, const HighlightSettings &settings)
{
    if (!settings.UseColorHighlight)
        return false;
    rules = build_highlight_rules(settings);
    return true;
}

std::optional<QString> DisplayLine(const HighlightRules &rules, const DisplayState &state,
                                   QStringView line)
{
    if (!state.UseColorHighlight)
        return std::nullopt;
    if (state.punching || state.global_ignore_editor_click || state.auto_dnc_flag)
        return std::nullopt;

    char16_t word_codes[5];
    for (int r = 0; r < 5; ++r)
        word_codes[r] = char16_t(display_code(rules[r]));
    const char16_t comment_code = char16_t(display_code(rules[kCommentRule]));

    QString highlight(line.size(), QChar(state.editor_bold ? 10 : 0));
    char16_t *out = reinterpret_cast<char16_t *>(highlight.data());
    bool in_comment = false;
    bool in_word = false;
    char16_t code = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'(') {
            in_comment = true;
            code = comment_code;
            out[i] = code;
        }
        if (in_comment)
            out[i] = code;
        if (c == u')') {
            in_comment = false;
            out[i] = code;
        }
        if (in_word) {
            if (is_upper(c))
                in_word = false;
            else
                out[i] = code;
        }
        if (is_upper(c) && !in_word && !in_comment) {
            for (int r = 0; r < 5; ++r) {
                if (rules[r].address_character == c) {
                    code = word_codes[r];
                    out[i] = code;
                    in_word = true;
                    break;
                }
            }
        }
    }
    return highlight;
}

} // namespace dnc
