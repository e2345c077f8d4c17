// Tape codes, end of block, control strings and translation files.
#include "comm/tape_code.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <bit>

namespace dnc
{
namespace
{

QString chars(std::initializer_list<int> codes)
{
    QString s;
    for (int c : codes)
        s.append(QChar(char16_t(c)));
    return s;
}

QByteArray bytes(std::initializer_list<int> codes)
{
    QByteArray b;
    for (int c : codes)
        b.append(char(c));
    return b;
}

TEST(TapeCode, IsoParityOfEverySevenBitCodeFollowsTheRule)
{
    MachineSettingsRecord record;
    record.punch_format = PunchIso;
    for (int code = 0; code < 128; ++code) {
        // The rule: a code with an odd number of one bits gets bit 7, so
        // every byte on the line has an even number of one bits.
        const bool odd = std::popcount(unsigned(code)) % 2 == 1;
        const int expected = odd ? code | 0x80 : code;
        SCOPED_TRACE(code);
        EXPECT_EQ(in_iso_parity_set(code), odd);
        EXPECT_EQ(convert_byte_for_sending(record, std::uint8_t(code)), expected);
        EXPECT_EQ(convert_text_for_sending(record, chars({code}), PunchIso), chars({expected}));
        EXPECT_EQ(std::popcount(unsigned(expected)) % 2, 0);
        // And back: parity removed, CR (plain or with parity) dropped.
        EXPECT_EQ(convert_received_byte(record, std::uint8_t(expected)), code == 13 ? -1 : code);
    }
    // Characters above 127 are never in the set.
    EXPECT_FALSE(in_iso_parity_set(0x83));
    EXPECT_EQ(convert_byte_for_sending(record, 0x83), 0x83);
}

TEST(TapeCode, IsoG01GoesOutAsTheRuleSays)
{
    MachineSettingsRecord record;
    record.punch_format = PunchIso;
    // 'G' (0x47) has four one bits and stays; '1' (0x31) has three.
    EXPECT_EQ(line_bytes_for_sending(record, "G01\r\n"), bytes({0x47, 0x30, 0xB1, 0x8D, 0x0A}));
}

TEST(TapeCode, LineBytesKeepEveryByteValue)
{
    MachineSettingsRecord record;
    record.punch_format = PunchIso;
    // DC3 with parity is 0x93: it goes out as it is, never as "?".
    EXPECT_EQ(line_bytes_for_sending(record, chars({0x13})), bytes({0x93}));
    EXPECT_EQ(text_to_line_bytes(chars({0x80, 0x9F, 0xFF, 0x20AC})),
              bytes({0x80, 0x9F, 0xFF, 0xAC}));
}

TEST(TapeCode, ReceiveConversionByFormat)
{
    struct Case {
        int format;
        int byte;
        int expected; // -1: dropped
    } cases[] = {
        {PunchIso, 0xC7, 'G'},    {PunchIso, 0x8D, -1},   {PunchIso, 0x80, 0x80},
        {PunchIso, 0x0A, 0x0A},   {PunchIso, 0x13, 0x13}, {PunchIso, 0x93, 0x13},
        {PunchAscii, 0xC7, 0xC7}, {PunchAscii, 13, -1},   {PunchAscii, 0, 0},
        {PunchOther, 'B', 'A'},   {PunchOther, 'Z', 0},   {PunchOther, 13, -1},
        {0, 0xC7, 0xC7},
    };
    MachineSettingsRecord record;
    record.trans_chars_in['B'] = 'A';
    for (const Case &c : cases) {
        record.punch_format = c.format;
        EXPECT_EQ(convert_received_byte(record, std::uint8_t(c.byte)), c.expected)
            << "format " << c.format << " byte " << c.byte;
    }
}

TEST(TapeCode, StripCharactersAreDroppedAfterConversion)
{
    MachineSettingsRecord record;
    record.punch_format = PunchIso;
    record.translated_strip_chars_string = " ";
    EXPECT_EQ(convert_received_byte(record, 0xA0), -1); // space with parity
    EXPECT_EQ(convert_received_byte(record, 'X'), 'X');
}

TEST(TapeCode, EndOfBlockByFormatAndType)
{
    struct Case {
        int format;
        int eob;
        QString expected;
    } cases[] = {
        {PunchAscii, EobCrLf, "\r\n"}, {PunchAscii, EobLfCrCr, "\n\r\r"},
        {PunchAscii, EobLf, "\n"},     {PunchAscii, EobCr, "\r"},
        {PunchAscii, 9, ""},           {PunchIso, EobLfCrCr, "\n\r\r"},
        {PunchIso, EobCr, "\r"},       {PunchOther, EobCrLf, "\n"},
        {PunchOther, 9, "\n"},         {0, EobCrLf, ""},
    };
    MachineSettingsRecord record;
    for (const Case &c : cases) {
        record.punch_format = c.format;
        record.EOB_type = c.eob;
        EXPECT_EQ(end_of_block_string(record), c.expected) << c.format << "/" << c.eob;
    }
}

TEST(TapeCode, ControlStrings)
{
    struct Case {
        QString text;
        QString expected;
        int problems;
    } cases[] = {
        {"%<13><10>", chars({'%', 13, 10}), 0},
        {"<20>", chars({20}), 0},
        {"<$0D><$0a>", chars({13, 10}), 0},
        {"< 65 >", "A", 0},
        {"<$FFFF>", chars({0xFFFF}), 0},
        {"no escapes", "no escapes", 0},
        {"<>", "", 1},
        {"a<abc>b", "ab", 1},
        {"<65536>", "", 1},
        {"<-1>", "", 1},
        {"<$>", "", 1},
        {"X<5", "X<5", 1},
        {"<<65>", "", 1}, // "<<65" is not a number; the escape runs to the first ">"
    };
    MachineSettingsRecord record;
    record.punch_format = PunchAscii;
    for (const Case &c : cases) {
        QStringList problems;
        EXPECT_EQ(translate_control_string(record, c.text, false, &problems), c.expected)
            << c.text.toStdString();
        EXPECT_EQ(problems.size(), c.problems) << c.text.toStdString();
    }
}

TEST(TapeCode, ControlStringConversionLeavesEscapesAlone)
{
    MachineSettingsRecord record;
    record.punch_format = PunchOther;
    record.trans_chars_out['A'] = 'B';
    record.trans_chars_out['B'] = 'C';
    EXPECT_EQ(translate_control_string(record, "A<65>", false), "BA");
    EXPECT_EQ(translate_control_string(record, "A<65>", true), "AA");

    record.punch_format = PunchIso;
    EXPECT_EQ(translate_control_string(record, chars({'%', 0x2122}), false),
              chars({'%', 0x2122 + 128}));
}

TEST(TapeCode, LeaderBytesConvertEveryCharacterOnce)
{
    MachineSettingsRecord record;
    record.punch_format = PunchOther;
    record.trans_chars_out['A'] = 'B';
    record.trans_chars_out['B'] = 'C';
    record.trans_chars_out[13] = 0x80;
    // Plain and escaped characters alike go through the table once.
    EXPECT_EQ(control_string_bytes(record, "A<66><13>"), bytes({'B', 'C', 0x80}));

    record.punch_format = PunchIso;
    EXPECT_EQ(control_string_bytes(record, "%<13><10>"), bytes({0xA5, 0x8D, 0x0A}));
}

TEST(TapeCode, OtherFormatSendsUnmappedCharactersAsZero)
{
    MachineSettingsRecord record;
    record.punch_format = PunchOther;
    record.trans_chars_out['G'] = 0x67;
    EXPECT_EQ(line_bytes_for_sending(record, "GX"), bytes({0x67, 0}));
    EXPECT_EQ(convert_byte_for_sending(record, 'G'), 0x67);
}

TEST(TranslationFile, ParsesPairsCommentsAndHex)
{
    trans_array out{}, in{};
    const TranslationLoad load = parse_translation_text(" ; a comment line\r\n"
                                                        "65,66 ; A goes out as B\r\n"
                                                        "\r\n"
                                                        "$30, $B0\r\n"
                                                        "\t10,128\t\r\n",
                                                        "t.txt", out, in);
    EXPECT_TRUE(load.problems.isEmpty()) << load.problems.join('\n').toStdString();
    EXPECT_EQ(load.pairs, 3);
    EXPECT_EQ(out['A'], 'B');
    EXPECT_EQ(in['B'], 'A');
    EXPECT_EQ(out['0'], 0xB0);
    EXPECT_EQ(in[0xB0], '0');
    EXPECT_EQ(out[10], 128);
    EXPECT_EQ(in[128], 10);
}

TEST(TranslationFile, MalformedLinesAreReportedWithTheirNumberAndSkipped)
{
    trans_array out{}, in{};
    out['Q'] = 7; // entries not named keep their content
    const TranslationLoad load = parse_translation_text("65,66\n"
                                                        "just text\n"
                                                        "67\n"
                                                        "68,256\n"
                                                        "69,70,71\n"
                                                        "$4G,1\n"
                                                        "72,73\n",
                                                        "codes.txt", out, in);
    EXPECT_EQ(load.pairs, 2);
    ASSERT_EQ(load.problems.size(), 5);
    EXPECT_TRUE(load.problems[0].startsWith("codes.txt, line 2:"))
        << load.problems[0].toStdString();
    EXPECT_TRUE(load.problems[4].startsWith("codes.txt, line 6:"))
        << load.problems[4].toStdString();
    EXPECT_EQ(out['A'], 'B');
    EXPECT_EQ(out['H'], 'I');
    EXPECT_EQ(out['Q'], 7);
    EXPECT_EQ(out['D'], 0);
}

TEST(TranslationFile, FileRoundTripAndMissingFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("codes.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("65,66 ; A is B on the tape\n");
    file.close();

    MachineSettingsRecord record;
    record.punch_format = PunchOther;
    const TranslationLoad load = load_translation_file(record, path);
    EXPECT_TRUE(load.file_found);
    EXPECT_EQ(load.pairs, 1);
    EXPECT_EQ(line_bytes_for_sending(record, "A"), "B");
    EXPECT_EQ(convert_received_byte(record, 'B'), 'A');
    // A byte that no entry names arrives as character 0 (which the receive
    // handler drops).
    EXPECT_EQ(convert_received_byte(record, 'Z'), 0);

    const TranslationLoad missing = load_translation_file(record, dir.filePath("none.txt"));
    EXPECT_FALSE(missing.file_found);
    EXPECT_EQ(record.trans_chars_out['A'], 'B');
}

} // namespace
} // namespace dnc
