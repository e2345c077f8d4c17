#include "comm/report_once.h"

#include <QSet>
#include <mutex>

namespace dnc
{

bool first_report(const QString &key)
{
    static std::mutex mutex;
    static QSet<QString> seen;
    std::lock_guard lock(mutex);
    if (seen.contains(key))
        return false;
    seen.insert(key);
    return true;
}

} // namespace dnc
