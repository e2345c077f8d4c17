#include "app/handover_text.h"
#include "app/instance_channel.h"

#include <gtest/gtest.h>

namespace dnc
{
namespace
{

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), 2 * text.size());
}

TEST(HandoverText, CopyDataTextKeepsByteCountDivTwoCharactersUpToNul)
{
    struct Case {
        const char *what;
        QByteArray data;
        QString expected;
    };
    const QString path = QStringLiteral("/nc/Ö1000.nc");
    const Case cases[] = {
        {"text + half NUL, as a sender counts it", copy_data_bytes(path), path},
        {"no NUL at all", utf16(path), path},
        {"odd byte count drops the half character", utf16(path) + 'x', path},
        {"cut at the first NUL",
         utf16(QStringLiteral("/a")) + QByteArray(2, '\0') + utf16(QStringLiteral("junk")), "/a"},
        {"empty", QByteArray(), ""},
        {"one byte", QByteArray(1, 'x'), ""},
        {"a character outside the BMP survives", copy_data_bytes(QStringLiteral("a\U0001F600b")),
         QStringLiteral("a\U0001F600b")},
    };
    for (const Case &c : cases)
        EXPECT_EQ(copy_data_text(c.data), c.expected) << c.what;
    EXPECT_EQ(copy_data_bytes(path).size(), 2 * path.size() + 1);
}

TEST(HandoverText, FilePathRules)
{
    struct Case {
        QString text;
        QString expected;
    };
    const Case cases[] = {
        {"/nc/O1000.nc", "/nc/O1000.nc"},
        {"\"/nc/O1000.nc\"   ", "/nc/O1000.nc"},
        {"  \"/nc/my file.nc\" trailing", "/nc/my file.nc"},
        {"\"  /nc/O1.nc \t\"", "/nc/O1.nc"},
        {"\"/nc/O1.nc", "/nc/O1.nc"},
        {"prefix\"/nc/O1.nc\"", "/nc/O1.nc"},
        {"\t\r\n/nc/O1.nc\x01\x1f ", "/nc/O1.nc"},
        {"\"\"", ""},
        {"   ", ""},
        {"/nc/ O1.nc", "/nc/ O1.nc"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(handover_file_path(c.text), c.expected) << c.text.toStdString();
}

TEST(HandoverText, PathAndMachineRules)
{
    struct Case {
        QString text;
        QString path;
        QString machine;
    };
    const Case cases[] = {
        {"\"/nc/O1.nc\" <Mill 2>", "/nc/O1.nc", "Mill 2"},
        {"<Lathe>\"/nc/O1.nc\"", "/nc/O1.nc", "Lathe"},
        {"\" /nc/O1.nc \" <M", " /nc/O1.nc ", "M"},
        {"\"/nc/O1.nc\"", "/nc/O1.nc", ""},
        {"/nc/O1.nc <M>", "/nc/O1.nc <M>", "M"},
        {"\"/a<b>.nc\" <M>", "/a<b>.nc", "b"},
    };
    for (const Case &c : cases) {
        const PathAndMachine r = handover_path_and_machine(c.text);
        EXPECT_EQ(r.path, c.path) << c.text.toStdString();
        EXPECT_EQ(r.machine, c.machine) << c.text.toStdString();
    }
}

TEST(InstanceChannel, FramesSurviveAnyChunking)
{
    const ChannelMessage first = make_message(KindOpenFile, QStringLiteral("/nc/O1.nc"));
    const ChannelMessage second = make_message(KindComeToFront, QString());
    const QByteArray stream = encode_frame(first) + encode_frame(second);
    for (qsizetype chunk = 1; chunk <= stream.size(); ++chunk) {
        FrameReader reader;
        QList<ChannelMessage> got;
        for (qsizetype at = 0; at < stream.size(); at += chunk) {
            reader.append(stream.mid(at, chunk));
            ChannelMessage m;
            while (reader.next(&m))
                got.append(m);
        }
        ASSERT_EQ(got.size(), 2) << "chunk " << chunk;
        EXPECT_EQ(got[0].kind, quint32(KindOpenFile));
        EXPECT_EQ(copy_data_text(got[0].data), QStringLiteral("/nc/O1.nc"));
        EXPECT_EQ(got[1].kind, quint32(KindComeToFront));
        EXPECT_FALSE(reader.failed());
    }
}

TEST(InstanceChannel, OversizedFrameIsRefused)
{
    ChannelMessage huge;
    huge.kind = KindOpenFile;
    huge.data = QByteArray(kMaxFrameBytes + 1, 'a');
    FrameReader reader;
    reader.append(encode_frame(huge).left(8));
    ChannelMessage m;
    EXPECT_FALSE(reader.next(&m));
    EXPECT_TRUE(reader.failed());
}

} // namespace
} // namespace dnc
