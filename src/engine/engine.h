// The transfer engine: every machine's object (record, serial port session,
// send worker), in machine order, and the settings that belong to the whole
// program (port map, remote-app option, current machine, the process-wide
// transfer flags). A front-end creates one Engine on its UI thread and hands
// it the Workspace through which the engine reports.
#pragma once

#include "engine/engine_hooks.h"
#include "engine/workspace.h"

#include <QMap>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace dnc
{

class Machine;

class Engine
{
public:
    explicit Engine(Workspace &workspace);
    // Stops every transfer and closes every port.
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    Workspace &workspace() { return workspace_; }
    EngineHooks &hooks() { return hooks_; }
    const EngineHooks &hooks() const { return hooks_; }

    // ---- machines (UI thread) ----
    // Makes the machine list `count` long. New machines get a fresh record
    // (all fields zero, as before the settings are loaded); machines beyond
    // `count` stop their transfer, close their port and go away.
    void set_machine_count(int count);
    int machine_count() const;
    // The machine with 0-based index `index` (0 <= index < machine_count()).
    Machine &machine(int index);
    // Null for an index outside the list.
    Machine *find_machine(int index);

    // ---- program-wide settings ----
    // The "Com<N>=" entries of the global settings section; applies to
    // every machine's next port open.
    void set_port_map(const QMap<int, QString> &port_map);
    QMap<int, QString> port_map() const;

    // "Use Remote Mobile App": messages become notes of the current
    // machine and nothing waits for a click (except kind 5).
    void set_use_remote_app(bool on) { use_remote_app_ = on; }
    bool use_remote_app() const { return use_remote_app_; }

    // Multi-machine mode: progress bars are shown per machine.
    void set_multi_machine(bool on) { multi_machine_ = on; }
    bool multi_machine() const { return multi_machine_; }

    // The machine that menus, messages and the web remote act on.
    void set_current_machine(int index) { current_machine_ = index; }
    int current_machine() const;

    // A transfer started from the web remote is in progress.
    std::atomic<bool> remote_command_active{false};
    // A send for the back-plot program is armed or running; the machine's
    // start signal then starts it.
    std::atomic<bool> dnc_from_veltrik{false};

    // Asks or warns (kinds and answers of MessageKind/MessageAnswer). With
    // the remote-app option on and a kind other than 5 the message becomes
    // the note title + " " + body of the current machine and the answer is
    // 0. UI thread only, unless the remote-app option is on.
    int show_message(const QString &title, const QString &body, int kind);

private:
    Workspace &workspace_;
    EngineHooks hooks_;
    std::vector<std::unique_ptr<Machine>> machines_;
    mutable std::mutex port_map_mutex_;
    QMap<int, QString> port_map_;
    std::atomic<bool> use_remote_app_{false};
    std::atomic<bool> multi_machine_{false};
    std::atomic<int> current_machine_{0};
};

} // namespace dnc
