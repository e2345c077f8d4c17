// Process start of dncserver, from the command line to the event loop:
// our own options, the user-data folder, the single-instance rule, then the
// front-end.
#pragma once

class QCoreApplication;

namespace dnc
{

// Exit codes besides 0.
inline constexpr int kExitFailure = 1; // a hand-over to the running server failed
inline constexpr int kExitUsage = 2;   // malformed options or a missing --data-dir folder

// Runs the server and returns the process's exit code.
int run_server(QCoreApplication &app);

} // namespace dnc
