// dncserver: the DNC server. See server_start.h for the start-up order and
// command_line.h for the options.
#include "app/server_start.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return dnc::run_server(app);
}
