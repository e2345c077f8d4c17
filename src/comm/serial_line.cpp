#include "comm/serial_line.h"

#include "comm/device_serial_line.h"
#include "comm/network_serial_line.h"

namespace dnc
{

std::unique_ptr<SerialLine> make_serial_line(const QString &device)
{
    if (device.startsWith(QStringLiteral("socket://"), Qt::CaseInsensitive))
        return std::make_unique<NetworkSerialLine>();
    return std::make_unique<DeviceSerialLine>();
}

} // namespace dnc
