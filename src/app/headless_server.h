// The server without a window: reads the machine list from DNC.ini, keeps
// one in-memory editor per machine (HeadlessWorkspace) and takes files
// handed over by a second start. The engine's machines are attached to the
// same workspace.
#pragma once

#include "app/command_line.h"
#include "app/headless_workspace.h"

#include <QObject>
#include <QString>
#include <memory>

namespace dnc
{

class Engine;
class IniFile;
class Machine;
class Receiving;
class HeadlessRemoteHost;
class RemoteServer;

class HeadlessServer : public QObject
{
    Q_OBJECT
public:
    HeadlessServer(QString user_data_folder, CommandLine command_line, HeadlessWorkspace *workspace,
                   QObject *parent = nullptr);

    HeadlessServer(const HeadlessServer &) = delete;
    HeadlessServer &operator=(const HeadlessServer &) = delete;
    ~HeadlessServer() override;

    // Reads DNC.ini (reporting a missing one), creates the machine "Default"
    // when the file names none, prints the machine list, selects the machine
    // named on the command line (else the last machine of the previous run)
    // and loads the file named on the command line into machine 0's editor.
    // Then it serves: every machine's settings are loaded, every machine's
    // port is opened, and every auto-serve machine waits for the requests
    // of its control ("Waiting for Server Command").
    void start();

    // Closes in order; the process may exit afterwards.
    void stop();

    // The transfer engine (null before start() and after stop()).
    Engine *engine() const { return engine_.get(); }

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
    // Makes `machine` current for the workspace and the engine alike.
    void select_machine(int machine);
    Machine *current_engine_machine() const;

    void start_serving(const IniFile &ini, const QStringList &machines, int current);
    // With "Remote" on in DNC.ini: the web remote on every interface.
    void start_remote(const IniFile &ini);

    QString user_data_folder_;
    CommandLine command_line_;
    HeadlessWorkspace *workspace_;
    std::unique_ptr<Engine> engine_;
    std::shared_ptr<Receiving> receiving_;
    std::unique_ptr<HeadlessRemoteHost> remote_host_;
    std::unique_ptr<RemoteServer> remote_;
};

} // namespace dnc
