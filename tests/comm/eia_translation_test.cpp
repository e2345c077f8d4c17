// The shipped EIA RS-244 translation file against the published code table,
// written here as punched channels so that the two are independent.
#include "comm/tape_code.h"

#include <gtest/gtest.h>

#include <bit>
#include <vector>

namespace dnc
{
namespace
{

struct Code {
    char character;
    std::vector<int> channels; // punched channels, 1..8
};

int tape_value(const std::vector<int> &channels)
{
    int value = 0;
    for (int channel : channels)
        value |= 1 << (channel - 1);
    return value;
}

// RS-244-B: channels 1-4 BCD, 5 parity (odd), 6 zero/zone, 7 X, 8 end of block.
const std::vector<Code> &published_table()
{
    static const std::vector<Code> table = {
        {'0', {6}},
        {'1', {1}},
        {'2', {2}},
        {'3', {5, 2, 1}},
        {'4', {3}},
        {'5', {5, 3, 1}},
        {'6', {5, 3, 2}},
        {'7', {3, 2, 1}},
        {'8', {4}},
        {'9', {5, 4, 1}},
        {'A', {7, 6, 1}},
        {'B', {7, 6, 2}},
        {'C', {7, 6, 5, 2, 1}},
        {'D', {7, 6, 3}},
        {'E', {7, 6, 5, 3, 1}},
        {'F', {7, 6, 5, 3, 2}},
        {'G', {7, 6, 3, 2, 1}},
        {'H', {7, 6, 4}},
        {'I', {7, 6, 5, 4, 1}},
        {'J', {7, 5, 1}},
        {'K', {7, 5, 2}},
        {'L', {7, 2, 1}},
        {'M', {7, 5, 3}},
        {'N', {7, 3, 1}},
        {'O', {7, 3, 2}},
        {'P', {7, 5, 3, 2, 1}},
        {'Q', {7, 5, 4}},
        {'R', {7, 4, 1}},
        {'S', {6, 5, 2}},
        {'T', {6, 2, 1}},
        {'U', {6, 5, 3}},
        {'V', {6, 3, 1}},
        {'W', {6, 3, 2}},
        {'X', {6, 5, 3, 2, 1}},
        {'Y', {6, 5, 4}},
        {'Z', {6, 4, 1}},
        {' ', {5}},
        {'+', {7, 6, 5}},
        {'-', {7}},
        {'/', {6, 5, 1}},
        {'.', {7, 6, 4, 2, 1}},
        {',', {6, 5, 4, 2, 1}},
        {'%', {4, 2, 1}},
        {'(', {5, 4, 2}},
        {')', {7, 4, 2}},
        {'\t', {6, 5, 4, 3, 2}},
        {'\x7f', {7, 6, 5, 4, 3, 2, 1}},
        {'\n', {8}},
    };
    return table;
}

class EiaFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        record.punch_format = PunchOther;
        load = load_translation_file(record, QStringLiteral(DNC_SOURCE_DIR) +
                                                 "/data/translation/EIA-RS244.txt");
    }
    MachineSettingsRecord record;
    TranslationLoad load;
};

TEST_F(EiaFile, LoadsWithoutProblems)
{
    ASSERT_TRUE(load.file_found);
    EXPECT_TRUE(load.problems.isEmpty()) << load.problems.join('\n').toStdString();
}

TEST_F(EiaFile, MatchesThePublishedTable)
{
    for (const Code &code : published_table()) {
        const int tape = tape_value(code.channels);
        SCOPED_TRACE(std::string(1, code.character));
        if (code.character != '\n') { // every character but end of block has odd parity
            EXPECT_EQ(std::popcount(unsigned(tape)) % 2, 1);
        }
        EXPECT_EQ(record.trans_chars_out[std::uint8_t(code.character)], tape);
        EXPECT_EQ(record.trans_chars_in[tape], std::uint8_t(code.character));
        if (code.character >= 'A' && code.character <= 'Z') {
            EXPECT_EQ(record.trans_chars_out[std::uint8_t(code.character + 32)], tape);
        }
    }
}

TEST_F(EiaFile, PassesSerialLineControlCodes)
{
    for (int dc : {17, 18, 19, 20})
        EXPECT_EQ(record.trans_chars_out[dc], dc) << dc;
    for (int dc : {17, 18, 20})
        EXPECT_EQ(record.trans_chars_in[dc], dc) << dc;
    // $13 is DC3 and the digit 3 at once: received, it is the digit.
    EXPECT_EQ(record.trans_chars_in[0x13], '3');
}

TEST_F(EiaFile, ProgramRoundTrip)
{
    const QString program = "%\nO1000\nG01 X-1.5 Y2.\n(DRILL)\nM30\n%\n";
    const QByteArray tape = line_bytes_for_sending(record, program);
    EXPECT_EQ(tape.count('\0'), 0) << "a character of the program has no EIA code";
    QString back;
    for (char byte : tape) {
        const int c = convert_received_byte(record, std::uint8_t(byte));
        if (c > 0)
            back.append(QChar(char16_t(c)));
    }
    EXPECT_EQ(back, program);
}

} // namespace
} // namespace dnc
