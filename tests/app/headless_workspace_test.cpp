#include "app/headless_workspace.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <thread>

namespace dnc
{
namespace
{

QString read_all(std::FILE *stream)
{
    std::fflush(stream);
    std::rewind(stream);
    QByteArray bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        bytes.append(buffer, qsizetype(n));
    return QString::fromUtf8(bytes);
}

class HeadlessWorkspaceTest : public ::testing::Test
{
protected:
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    HeadlessWorkspace ws{out, err};

    void SetUp() override { ws.set_machines({QStringLiteral("Mill 1"), QStringLiteral("Lathe")}); }
    void TearDown() override
    {
        std::fclose(out);
        std::fclose(err);
    }
};

TEST_F(HeadlessWorkspaceTest, NotesAreOneLineEach)
{
    ws.note(0, QStringLiteral("COM1 Ready"), NoteColour::Normal);
    ws.note(1, QStringLiteral("Mazatrol-Sending Data"), NoteColour::Mazatrol);
    ws.note(1, QStringLiteral("Can't Find INI file\r\n/x/DNC.ini\nnext\rlast"), NoteColour::Normal);
    ws.note(7, QStringLiteral("Ünïcode"), NoteColour::Normal);
    EXPECT_EQ(read_all(out), QStringLiteral("Mill 1: COM1 Ready\n"
                                            "Lathe: Mazatrol-Sending Data\n"
                                            "Lathe: Can't Find INI file /x/DNC.ini next last\n"
                                            "Machine 8: Ünïcode\n"));
    EXPECT_EQ(read_all(err), QString());
}

TEST_F(HeadlessWorkspaceTest, MessagesNeverWaitForAClick)
{
    struct Case {
        int kind;
        int answer;
        QString out;
        QString err;
    };
    const Case cases[] = {
        {MessageOk, AnswerNone, "Lathe: No File Selected \n", ""},
        {MessageYesNo, AnswerNone, "Lathe: No File Selected \n", ""},
        {MessageYesNoCancel, AnswerNone, "Lathe: No File Selected \n", ""},
        {42, AnswerNone, "Lathe: No File Selected \n", ""},
        {MessageAlwaysDialog, AnswerOk, "", "No File Selected \n"},
    };
    ws.set_current_machine(1);
    for (const Case &c : cases) {
        std::FILE *o = std::tmpfile();
        std::FILE *e = std::tmpfile();
        HeadlessWorkspace w(o, e);
        w.set_machines(ws.machine_names());
        w.set_current_machine(1);
        EXPECT_EQ(w.show_message(QStringLiteral("No File Selected"), QString(), c.kind), c.answer)
            << c.kind;
        EXPECT_EQ(read_all(o), c.out) << c.kind;
        EXPECT_EQ(read_all(e), c.err) << c.kind;
        std::fclose(o);
        std::fclose(e);
    }
}

TEST_F(HeadlessWorkspaceTest, EditorAccessOutsideTheTextOrTheMachineListIsHarmless)
{
    ws.set_editor_text(0, {QStringLiteral("%"), QStringLiteral("O1000"), QStringLiteral("M30")});
    ws.replace_editor_line(0, 0, QStringLiteral("x"));
    ws.replace_editor_line(0, 4, QStringLiteral("x"));
    ws.replace_editor_line(0, 2, QStringLiteral("O2000"));
    EXPECT_EQ(ws.editor_lines(0),
              QStringList({QStringLiteral("%"), QStringLiteral("O2000"), QStringLiteral("M30")}));
    EXPECT_EQ(ws.editor_line(0, 0), QString());
    EXPECT_EQ(ws.editor_line(0, 4), QString());
    EXPECT_EQ(ws.editor_line(0, 3), QStringLiteral("M30"));
    EXPECT_EQ(ws.editor_line_count(1), 0);

    ws.memo_add(5, QStringLiteral("x"));
    ws.set_and_display_filename(-1, QStringLiteral("/x"));
    EXPECT_EQ(ws.editor_line_count(5), 0);
    EXPECT_EQ(ws.editor_revision(5), 0u);
    EXPECT_EQ(ws.file_name(-1), QString());

    // Renaming machines keeps each index's text.
    ws.set_machines({QStringLiteral("Mill One"), QStringLiteral("Lathe"), QStringLiteral("New")});
    EXPECT_EQ(ws.editor_line_count(0), 3);
    EXPECT_EQ(ws.machine_name(0), QStringLiteral("Mill One"));
}

TEST_F(HeadlessWorkspaceTest, RevisionChangesWithEveryEdit)
{
    quint64 last = ws.editor_revision(0);
    const std::function<void()> edits[] = {
        [&] { ws.memo_add(0, QStringLiteral("N10")); },
        [&] {
            ws.memo_add_lines(0, {QStringLiteral("N20"), QStringLiteral("N30")});
        },
        [&] { ws.replace_editor_line(0, 1, QStringLiteral("N20")); },
        [&] { ws.set_editor_text(0, {QStringLiteral("%")}); },
        [&] { ws.clear_editor(0); },
    };
    for (const auto &edit : edits) {
        edit();
        const quint64 now = ws.editor_revision(0);
        EXPECT_GT(now, last);
        last = now;
    }
    ws.highlight_line(0, 3);
    ws.memo_add_lines(0, {});
    ws.replace_editor_line(0, 9, QStringLiteral("x"));
    EXPECT_EQ(ws.editor_revision(0), last);
}

// Received lines arrive on a serial event thread while a sender reads the
// program: every reader sees whole lines in order and nothing is lost.
TEST_F(HeadlessWorkspaceTest, EditorIsRaceFree)
{
    constexpr int kLines = 5000;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 1; i <= kLines; i += 2) {
            if (i % 4 == 1) {
                ws.memo_add(0, QStringLiteral("N%1").arg(i));
                ws.memo_add(0, QStringLiteral("N%1").arg(i + 1));
            } else {
                ws.memo_add_lines(0,
                                  {QStringLiteral("N%1").arg(i), QStringLiteral("N%1").arg(i + 1)});
            }
        }
        done = true;
    });
    std::thread noter([&] {
        for (int i = 0; i < 200; ++i)
            ws.note(1, QStringLiteral("Receiving Data"), NoteColour::Normal);
    });
    while (!done) {
        const auto snapshot = ws.editor(0)->snapshot();
        for (int i = 0; i < snapshot.lines.size(); ++i)
            ASSERT_EQ(snapshot.lines[i], QStringLiteral("N%1").arg(i + 1));
        ws.editor_line(0, ws.editor_line_count(0));
        ws.editor_revision(0);
    }
    writer.join();
    noter.join();
    EXPECT_EQ(ws.editor_line_count(0), kLines);
    EXPECT_EQ(ws.editor_line(0, kLines), QStringLiteral("N%1").arg(kLines));
    EXPECT_EQ(read_all(out).count(QLatin1Char('\n')), 200);
}

} // namespace
} // namespace dnc
