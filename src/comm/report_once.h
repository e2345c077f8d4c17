// Some problems are worth telling the operator once, not at every port open
// or every send: a device that cannot have a setting, a bad line in a
// translation file, a malformed escape in a leader. This keeps the memory of
// what was already told for the life of the program.
#pragma once

#include <QString>

namespace dnc
{

// True the first time `key` is seen in this program run, false afterwards.
// Callable from any thread.
bool first_report(const QString &key);

} // namespace dnc
