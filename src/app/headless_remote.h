// The web remote of the headless server: what only a front-end knows (the
// machine list, the status lines, the folder the remote browses from) comes
// from the headless workspace; everything else from the engine.
#pragma once

#include "remote/engine_remote_host.h"

namespace dnc
{

class HeadlessWorkspace;

class HeadlessRemoteHost : public EngineRemoteHost
{
public:
    HeadlessRemoteHost(Engine &engine, HeadlessWorkspace &workspace, QString user_data_folder);

    void select_machine(int index) override;
    void change_machine() override;
    void binary_send(int record) override;

    // The folder the remote starts browsing in.
    QString folder_for_remote() { return file_list_folder(); }

protected:
    QStringList machine_names() override;
    int selected_machine() override;
    QString status_text(int record) override;
    QString file_list_folder() override;

private:
    HeadlessWorkspace &workspace_;
    QString user_data_folder_;
};

} // namespace dnc
