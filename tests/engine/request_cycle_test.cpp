// Auto-serve over a pseudo-terminal, the test playing the control: get,
// save, log, reset and auto-save requests, the not-found reply, failed saves,
// a file loaded while serving, and many cycles in a row.
#include "engine/receive_fixture.h"
#include "engine/requests.h"

#include <QDir>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace dnc::test
{
namespace
{

const QString kWaiting = QStringLiteral("Waiting for Server Command");
const QString kRemoteStart = QStringLiteral("Waiting For Remote Start");
const QByteArray kDc1 = "\x11";
const QByteArray kDc4 = "\x14";

const QByteArray kServeKeys = "AutoServe=1\n"
                              "DefaultExt=NC\n"
                              "DefaultDir={data}progs/\n"
                              "DefaultSaveDir={data}saved/\n";

const QStringList kO1000 = {"%", "O1000", "G01 X1. Y2.", "M30", "%"};

// A machine serving the folders progs/ (to read) and saved/ (to save), with
// O1000.NC in progs/, waiting for commands. `keys` come first: they win over
// the same keys of the plain setting.
struct Serving {
    explicit Serving(const QByteArray &keys = {}) : served(keys + kServeKeys)
    {
        served.make_folder("progs");
        served.make_folder("saved");
        served.write_file("progs/O1000.NC", lines_with_lf(kO1000));
        served.open();
    }

    // The control sends a request program and waits until the server
    // answers by waiting for its start signal.
    bool request(const QByteArray &line)
    {
        const int starts = served.note_count(kRemoteStart);
        served.control_sends("%\n" + line + "\n%\n" + kDc4);
        return served.wait_for_note(kRemoteStart, starts + 1);
    }
    // The control gives its start signal and reads the answer; the server
    // then waits for the next command.
    QByteArray read_answer()
    {
        const int waiting = served.note_count(kWaiting);
        served.control_sends(kDc1);
        const QByteArray answer = served.control_reads_until_dc4();
        served.wait_for_note(kWaiting, waiting + 1);
        return answer;
    }
    // The control sends a program that the server takes without sending
    // anything back; the server then waits for the next command.
    bool send_program(const QByteArray &program)
    {
        const int waiting = served.note_count(kWaiting);
        served.control_sends(program + kDc4);
        return served.wait_for_note(kWaiting, waiting + 1);
    }

    ServedMachine served;
};

TEST(RequestCycle, GetRequestSendsTheNamedFile)
{
    struct Case {
        const char *what;
        QString request; // "{data}": the user-data folder
        QString file;    // where the requested file lies, in the data folder
    };
    const Case cases[] = {
        {"read folder and extension", "(G*O1000)", "progs/O1000.NC"},
        {"a folder of its own", "(G*{data}other/O5)", "other/O5.NC"},
        {"a folder written with \\", "(G*{back}other\\O6.NC)", "other/O6.NC"},
    };
    for (const Case &c : cases) {
        Serving serving;
        ServedMachine &served = serving.served;
        ASSERT_TRUE(served.wait_for_note(kWaiting)) << c.what;
        served.make_folder("other");
        const QStringList program = {"%", "O5", "G1 X" + QString(c.file), "%"};
        served.write_file(c.file, lines_with_lf(program));
        QString request = c.request;
        request.replace("{data}", served.data_folder());
        request.replace("{back}", QString(served.data_folder()).replace('/', '\\'));

        ASSERT_TRUE(serving.request(request.toLatin1())) << c.what;
        EXPECT_EQ(served.record().filename(), served.path(c.file)) << c.what;
        EXPECT_EQ(serving.read_answer(), lines_with_lf(program) + kDc4) << c.what;
        EXPECT_TRUE(served.workspace().has_note(0, "Finished Sending")) << c.what;
    }
}

TEST(RequestCycle, MissingFileIsAnsweredWithTheNotFoundProgram)
{
    struct Case {
        QByteArray request;
        QString kind;
    };
    const Case cases[] = {{"(G*NOPE)", "FILE"}, {"(G*{data}gone/NOPE)", "PATH"}};
    for (const Case &c : cases) {
        Serving serving;
        ServedMachine &served = serving.served;
        QByteArray request = c.request;
        request.replace("{data}", served.data_folder().toLatin1());
        ASSERT_TRUE(serving.request(request));
        const QStringList reply = {"%",   "O0099", "(NOPE.NC)", "(" + c.kind + " NOT FOUND)",
                                   "M30", "%"};
        EXPECT_EQ(serving.read_answer(), lines_with_lf(reply) + kDc4) << c.kind.toStdString();
        EXPECT_EQ(served.read_file(kNotFoundName), lines_with_lf(reply));
    }
}

TEST(RequestCycle, SaveRequestThenProgramIsSavedBackedUpAndLogged)
{
    Serving serving("BackupDirectory={data}backup/\n");
    ServedMachine &served = serving.served;
    served.make_folder("backup");
    served.write_file("backup/PART7-01.NC", "%\n");
    served.write_file("backup/part7-07.nc", "%\n");

    ASSERT_TRUE(serving.send_program("%\n(S*PART7)\n%\n"));
    EXPECT_TRUE(served.workspace().has_note(0, "Waiting to Receive File"));
    EXPECT_TRUE(served.record().auto_receive_flag);

    const QByteArray program = "%\nO7 (PART 7)\nG01 X1.\nM30\n%\n";
    ASSERT_TRUE(serving.send_program(program));
    EXPECT_TRUE(served.workspace().has_note(0, "Receiving File PART7.NC"));
    EXPECT_TRUE(served.workspace().has_note(0, "File Saved"));
    EXPECT_EQ(served.read_file("saved/PART7.NC"), program);
    EXPECT_EQ(served.read_file("backup/PART7-08.NC"), program);
    const QStringList log = QString::fromLatin1(served.read_file(kSavedFilesLogName)).split('\n');
    ASSERT_EQ(log.size(), 6);
    EXPECT_EQ(log.mid(0, 3), QStringList({"%", "(L* )", "(SAVED FILES LOG)"}));
    EXPECT_TRUE(log[3].startsWith("(" + served.path("saved/PART7.NC").toUpper() + " "));
    EXPECT_TRUE(log[3].endsWith(" " + QString::number(program.size()) + "CHARS)"))
        << log[3].toStdString();
    EXPECT_EQ(log.mid(4), QStringList({"%", ""}));
    EXPECT_TRUE(served.editor().isEmpty());
    EXPECT_FALSE(served.record().auto_receive_flag);

    // The log request sends the log as it lies in the user-data folder.
    ASSERT_TRUE(serving.request("(L*)"));
    EXPECT_EQ(serving.read_answer(), served.read_file(kSavedFilesLogName) + kDc4);
}

TEST(RequestCycle, AutoSaveAndTheLogKeepsMaxLogEntries)
{
    Serving serving("MaxLog=2\n");
    ServedMachine &served = serving.served;
    for (const char *name : {"P1", "P2", "P3"})
        ASSERT_TRUE(serving.send_program(QByteArray("%\n(A*") + name + ")\nG1\n%\n"));
    EXPECT_EQ(served.read_file("saved/P3.NC"), "%\n(A*P3)\nG1\n%\n");
    const QStringList log = QString::fromLatin1(served.read_file(kSavedFilesLogName)).split('\n');
    ASSERT_EQ(log.size(), 7);
    EXPECT_TRUE(log[3].contains("/SAVED/P3.NC "));
    EXPECT_TRUE(log[4].contains("/SAVED/P2.NC "));
    EXPECT_EQ(log[5], "%");
}

TEST(RequestCycle, ResetMarkerStopsWhateverRuns)
{
    Serving serving;
    ServedMachine &served = serving.served;

    // In the middle of the program that a save request announced: nothing
    // is saved and the machine waits again.
    ASSERT_TRUE(serving.send_program("%\n(S*PART9)\n%\n"));
    const int waiting = served.note_count(kWaiting);
    served.control_sends("%\nO9\nG1\n(X*)\nG2\n%\n");
    ASSERT_TRUE(served.wait_for_note(kWaiting, waiting + 1));
    EXPECT_FALSE(served.record().auto_receive_flag);
    EXPECT_FALSE(QFile::exists(served.path("saved/PART9.NC")));

    // While the answer to a get request waits for the start signal: the
    // send is off, a DC1 then starts nothing.
    ASSERT_TRUE(serving.request("(G*O1000)"));
    const int waiting_again = served.note_count(kWaiting);
    served.control_sends("(X*)\n");
    ASSERT_TRUE(served.wait_for_note(kWaiting, waiting_again + 1));
    served.control_sends(kDc1);
    EXPECT_TRUE(served.pty().read_for(300).isEmpty());
    EXPECT_TRUE(served.editor().isEmpty());

    // And the machine is served as before.
    ASSERT_TRUE(serving.request("(G*O1000)"));
    EXPECT_EQ(serving.read_answer(), lines_with_lf(kO1000) + kDc4);
}

TEST(RequestCycle, OnlyTheFirstTenLinesAreLookedAt)
{
    for (const int line : {10, 11}) {
        Serving serving;
        ServedMachine &served = serving.served;
        ASSERT_TRUE(served.wait_for_note(kWaiting));
        QByteArray program;
        for (int i = 1; i < line; ++i)
            program += "G1 X" + QByteArray::number(i) + "\n";
        program += "(G*O1000)\n";
        const int answers = served.note_count(kRemoteStart) + served.note_count(kWaiting);
        served.control_sends(program + kDc4);
        ASSERT_TRUE(wait_until([&] {
            return served.note_count(kRemoteStart) + served.note_count(kWaiting) > answers;
        })) << line;
        served.control_sends(kDc1);
        if (line == 10)
            EXPECT_EQ(served.control_reads_until_dc4(), lines_with_lf(kO1000) + kDc4);
        else
            EXPECT_TRUE(served.pty().read_for(300).isEmpty());
    }
}

TEST(RequestCycle, ProgramThatCannotBeSavedStaysInTheEditor)
{
    Serving serving("DefaultSaveDir={data}missing/\nBackupDirectory={data}nobackup/\n");
    ServedMachine &served = serving.served;
    ASSERT_TRUE(serving.send_program("%\n(S*P1)\n%\n"));
    served.control_sends("%\nO1\nG1\n%\n" + kDc4);
    ASSERT_TRUE(wait_until([&] { return !served.notes_containing("File Not Saved").isEmpty(); }));
    const QString note = served.notes_containing("File Not Saved").first();
    EXPECT_TRUE(note.contains(served.path("missing"))) << note.toStdString();
    EXPECT_FALSE(served.workspace().has_note(0, "File Saved"));
    process_events_for(100);
    EXPECT_EQ(served.editor(), QStringList({"%", "O1", "G1", "%"}));
    EXPECT_TRUE(served.record().memo_modified);

    // Further programs do not mix into it; the machine's reset lets it go.
    served.control_sends("%\nO2\n%\n" + kDc4);
    process_events_for(100);
    EXPECT_EQ(served.editor(), QStringList({"%", "O1", "G1", "%"}));
    const int waiting = served.note_count(kWaiting);
    served.control_sends("(X*)\n");
    ASSERT_TRUE(served.wait_for_note(kWaiting, waiting + 1));

    // A backup folder that is missing does not stop the save itself.
    served.make_folder("missing");
    ASSERT_TRUE(serving.send_program("%\n(S*P2)\n%\n"));
    ASSERT_TRUE(serving.send_program("%\nO2\n%\n"));
    EXPECT_EQ(served.read_file("missing/P2.NC"), "%\nO2\n%\n");
    EXPECT_TRUE(served.workspace().has_note(0, "File Saved"));
    EXPECT_FALSE(served.notes_containing("Backup Not Saved").isEmpty());
    EXPECT_TRUE(served.read_file(kSavedFilesLogName).contains("/MISSING/P2.NC "));
}

TEST(RequestCycle, FileLoadedWhileServingIsSentAtTheStartSignal)
{
    Serving serving;
    ServedMachine &served = serving.served;
    ASSERT_TRUE(served.wait_for_note(kWaiting));
    const int starts = served.note_count(kRemoteStart);
    ASSERT_TRUE(served.receiving().load_file_for_auto_serve(served.machine(),
                                                            served.path("progs/O1000.NC")));
    ASSERT_TRUE(served.wait_for_note(kRemoteStart, starts + 1));
    EXPECT_EQ(serving.read_answer(), lines_with_lf(kO1000) + kDc4);
    EXPECT_TRUE(served.editor().isEmpty());
}

TEST(RequestCycle, ServerIsReadyWhenItSaysItWaits)
{
    Serving serving;
    ServedMachine &served = serving.served;
    ASSERT_TRUE(served.wait_for_note(kWaiting));
    // A control that sends the moment the server says it waits: its first
    // line may arrive before the UI thread has left the receive start.
    std::atomic<bool> ready_at_every_note{true};
    served.workspace().set_note_hook([&](const QString &text) {
        if (text != kWaiting)
            return;
        if (!served.record().receiving_flag)
            ready_at_every_note = false;
        served.workspace().memo_add(0, "(FIRST LINE)");
    });
    ASSERT_TRUE(serving.request("(G*O1000)"));
    EXPECT_EQ(serving.read_answer(), lines_with_lf(kO1000) + kDc4);
    served.workspace().set_note_hook({});
    EXPECT_TRUE(ready_at_every_note);
    EXPECT_EQ(served.editor(), QStringList({"(FIRST LINE)"}));
}

TEST(RequestCycle, ControlThatAsksTheMomentTheServerWaitsIsAlwaysServed)
{
    Serving serving;
    ServedMachine &served = serving.served;
    ASSERT_TRUE(served.wait_for_note(kWaiting));
    // The control runs on its own thread, as a real one does, and sends its
    // next request as soon as the server says it waits.
    const auto wait_for = [&](const QString &note, int count) {
        for (int ms = 0; ms < 5000; ++ms) {
            if (served.note_count(note) >= count)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    };
    std::atomic<bool> done{false};
    int served_cycles = 0;
    std::thread control([&] {
        PtyPair &pty = served.pty();
        for (int cycle = 0; cycle < 100; ++cycle) {
            const int waiting = served.note_count(kWaiting);
            const int starts = served.note_count(kRemoteStart);
            pty.send("%\n(G*O1000)\n%\n" + kDc4);
            if (!wait_for(kRemoteStart, starts + 1))
                break;
            pty.send(kDc1);
            QByteArray answer;
            for (int ms = 0; ms < 5000 && !answer.contains(kDc4); ms += 10)
                answer += pty.read_for(10);
            if (answer != lines_with_lf(kO1000) + kDc4 || !wait_for(kWaiting, waiting + 1))
                break;
            ++served_cycles;
        }
        done = true;
    });
    wait_until([&] { return done.load(); }, 120000);
    control.join();
    EXPECT_EQ(served_cycles, 100);
}

int open_descriptors()
{
    return int(QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

TEST(RequestCycle, TwoHundredCyclesLoseNothingAndLeakNoFiles)
{
    Serving serving("CommBaudRate=256000\nCommHandshake=1\n");
    ServedMachine &served = serving.served;
    ASSERT_TRUE(served.wait_for_note(kWaiting));
    const int descriptors = open_descriptors();
    for (int cycle = 0; cycle < 200; ++cycle) {
        if (cycle % 2 == 0) {
            ASSERT_TRUE(serving.request("(G*O1000)")) << cycle;
            ASSERT_EQ(serving.read_answer(), lines_with_lf(kO1000) + kDc4) << cycle;
        } else {
            const QByteArray name = "P" + QByteArray::number(cycle);
            const QByteArray program = "%\nO" + QByteArray::number(cycle) + "\nG1 X1.\n%\n";
            ASSERT_TRUE(serving.send_program("%\n(S*" + name + ")\n%\n")) << cycle;
            ASSERT_TRUE(serving.send_program(program)) << cycle;
            ASSERT_EQ(served.read_file("saved/" + name + ".NC"), program) << cycle;
        }
    }
    EXPECT_EQ(open_descriptors(), descriptors);
}

} // namespace
} // namespace dnc::test
