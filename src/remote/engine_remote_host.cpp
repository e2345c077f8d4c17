#include "remote/engine_remote_host.h"

#include "engine/engine.h"
#include "engine/frame_actions.h"
#include "engine/machine.h"
#include "engine/program_file.h"

namespace dnc
{

EngineRemoteHost::EngineRemoteHost(Engine &engine) : engine_(engine) {}

Machine *EngineRemoteHost::machine(int record)
{
    return engine_.find_machine(record);
}

RemoteSnapshot EngineRemoteHost::remote_snapshot()
{
    RemoteSnapshot s;
    s.machine_names = machine_names();
    s.selected_machine = selected_machine();
    s.multi_machine = engine_.multi_machine();
    s.file_list_folder = file_list_folder();
    // Single-machine mode: record 0 serves whichever machine is selected.
    const int records =
        s.multi_machine ? engine_.machine_count() : std::min(engine_.machine_count(), 1);
    for (int i = 0; i < records; ++i) {
        const MachineSettingsRecord &r = engine_.machine(i).record();
        RemoteMachineView m;
        m.status_text = status_text(i);
        m.default_extension = r.DefaultExtension;
        m.default_read_directory = r.DefaultReadDirectory;
        m.default_save_directory = r.DefaultSaveDirectory;
        m.filter_files = r.FilterFiles;
        m.auto_serve = r.auto_dnc_flag;
        m.file_type = r.file_type;
        m.sending = r.punching;
        m.nc_filename = r.nc_filename;
        s.records.push_back(m);
    }
    return s;
}

std::atomic<bool> &EngineRemoteHost::remote_command_active()
{
    return engine_.remote_command_active;
}

bool EngineRemoteHost::is_sending(int record)
{
    const Machine *m = machine(record);
    return m && m->record().punching;
}

void EngineRemoteHost::set_global_filename(int record, const QString &path)
{
    if (Machine *m = machine(record))
        m->record().set_filename(path);
}

void EngineRemoteHost::clear(int record)
{
    if (Machine *m = machine(record))
        frame_clear(*m, true);
}

void EngineRemoteHost::receive(int record)
{
    if (Machine *m = machine(record))
        m->receive_action();
}

void EngineRemoteHost::send(int record)
{
    if (Machine *m = machine(record))
        frame_send(*m);
}

bool EngineRemoteHost::load_editor_file(int record, const QString &path)
{
    Machine *m = machine(record);
    return m && dnc::load_editor_file(*m, path);
}

void EngineRemoteHost::set_and_display_filename(int record, const QString &path)
{
    if (Machine *m = machine(record))
        display_filename(*m, path);
}

void EngineRemoteHost::note(int record, const QString &text)
{
    if (Machine *m = machine(record))
        m->note(text);
}

void EngineRemoteHost::show_ready_note(int record)
{
    if (Machine *m = machine(record))
        m->port().show_ready_note();
}

int EngineRemoteHost::show_message(const QString &title, const QString &body, int kind)
{
    return engine_.show_message(title, body, kind);
}

} // namespace dnc
