// The server without a window: reads the machine list from DNC.ini, keeps
// one in-memory editor per machine (HeadlessWorkspace) and takes files
// handed over by a second start. The engine's machines are attached to the
// same workspace.
#pragma once

#include "app/command_line.h"
#include "app/headless_workspace.h"

#include <QObject>
#include <QString>

namespace dnc
{

class HeadlessServer : public QObject
{
    Q_OBJECT
public:
    HeadlessServer(QString user_data_folder, CommandLine command_line, HeadlessWorkspace *workspace,
                   QObject *parent = nullptr);

    // Reads DNC.ini (reporting a missing one), creates the machine "Default"
    // when the file names none, prints the machine list, selects the machine
    // named on the command line (else the last machine of the previous run)
    // and loads the file named on the command line into machine 0's editor.
    void start();

    // Closes in order; the process may exit afterwards.
    void stop();

    QString ini_path() const;
    QString current_machine_name() const;

    // Loads a program file into a machine's editor and makes it the
    // machine's file name. A missing file gives the note "Can't find  <path>"
    // and leaves the editor as it was.
    bool load_editor_file(int machine, const QString &path);

    // A file handed over by a second start: the current machine's editor is
    // cleared, the file loaded, and "File Loaded" noted.
    void open_handed_over_file(const QString &path);
    // A file for a named machine from another program: loaded into the
    // current machine's editor, then that machine becomes current when it is
    // in the list.
    void open_file_for_machine(const QString &path, const QString &machine);

private:
    int find_machine(const QString &name) const;
    void clear_machine(int machine);

    QString user_data_folder_;
    CommandLine command_line_;
    HeadlessWorkspace *workspace_;
};

} // namespace dnc
