#include "app/headless_remote.h"

#include "app/headless_workspace.h"
#include "engine/engine.h"
#include "engine/machine.h"

namespace dnc
{

HeadlessRemoteHost::HeadlessRemoteHost(Engine &engine, HeadlessWorkspace &workspace,
                                       QString user_data_folder)
    : EngineRemoteHost(engine), workspace_(workspace),
      user_data_folder_(std::move(user_data_folder))
{
}

void HeadlessRemoteHost::select_machine(int index)
{
    if (index < 0 || index >= workspace_.machine_count())
        return;
    workspace_.set_current_machine(index);
    engine().set_current_machine(index);
}

void HeadlessRemoteHost::change_machine()
{
    // Every machine has its own record and port: choosing one changes only
    // which machine the remote's commands act on.
}

void HeadlessRemoteHost::binary_send(int record)
{
    note(record, QStringLiteral("Binary transfer is not available in this server"));
}

QStringList HeadlessRemoteHost::machine_names()
{
    return workspace_.machine_names();
}

int HeadlessRemoteHost::selected_machine()
{
    return workspace_.current_machine();
}

QString HeadlessRemoteHost::status_text(int record)
{
    return workspace_.status_text(record);
}

QString HeadlessRemoteHost::file_list_folder()
{
    // The folder programs are read from on the current machine, else the
    // user-data folder.
    if (Machine *machine = engine().find_machine(workspace_.current_machine())) {
        const QString folder = machine->record().DefaultReadDirectory;
        if (!folder.isEmpty())
            return folder;
    }
    return user_data_folder_;
}

} // namespace dnc
