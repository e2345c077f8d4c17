#include "engine/engine.h"

#include "engine/machine.h"

#include <algorithm>

namespace dnc
{

Engine::Engine(Workspace &workspace) : workspace_(workspace) {}

Engine::~Engine()
{
    // Every machine stops its transfer before any of them goes away, so no
    // worker waits for a machine that is already gone.
    for (auto &machine : machines_) {
        machine->record().abort2 = true;
        machine->record().exit_loops_flag = true;
    }
    while (!machines_.empty())
        machines_.pop_back();
}

void Engine::set_machine_count(int count)
{
    count = std::max(count, 0);
    while (int(machines_.size()) > count)
        machines_.pop_back();
    while (int(machines_.size()) < count)
        machines_.push_back(std::make_unique<Machine>(*this, int(machines_.size())));
}

int Engine::machine_count() const
{
    return int(machines_.size());
}

Machine &Engine::machine(int index)
{
    Q_ASSERT(index >= 0 && index < machine_count());
    return *machines_[std::size_t(index)];
}

Machine *Engine::find_machine(int index)
{
    if (index < 0 || index >= machine_count())
        return nullptr;
    return machines_[std::size_t(index)].get();
}

void Engine::set_port_map(const QMap<int, QString> &port_map)
{
    {
        std::lock_guard lock(port_map_mutex_);
        port_map_ = port_map;
    }
    for (auto &machine : machines_)
        machine->port().set_port_map(port_map);
}

QMap<int, QString> Engine::port_map() const
{
    std::lock_guard lock(port_map_mutex_);
    return port_map_;
}

int Engine::current_machine() const
{
    const int current = current_machine_;
    if (machines_.empty())
        return 0;
    return std::clamp(current, 0, machine_count() - 1);
}

int Engine::show_message(const QString &title, const QString &body, int kind)
{
    if (use_remote_app_ && kind != MessageAlwaysDialog) {
        if (Machine *machine = find_machine(current_machine()))
            machine->note(title + QLatin1Char(' ') + body);
        return AnswerNone;
    }
    return workspace_.show_message(title, body, kind);
}

} // namespace dnc
