#include "comm/port_discovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <mutex>

namespace dnc
{

namespace
{

QString resolved(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

QString read_sysfs(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).trimmed();
}

// The kernel driver behind a tty, e.g. "ftdi_sio" for /dev/ttyUSB0.
QString driver_of(const QString &tty_name)
{
    const QString link =
        QFileInfo(QStringLiteral("/sys/class/tty/%1/device/driver").arg(tty_name)).symLinkTarget();
    return link.isEmpty() ? QString() : QFileInfo(link).fileName();
}

// A /dev/ttyS* that has a UART behind it: the serial core lists every
// possible port, but those without hardware have type 0 (unknown).
bool is_real_uart(const QString &tty_name)
{
    const QString type = read_sysfs(QStringLiteral("/sys/class/tty/%1/type").arg(tty_name));
    return !type.isEmpty() && type != QStringLiteral("0");
}

std::mutex last_mutex;
AdapterIdentity last_identity;

} // namespace

PortListing list_ports(const QList<SerialDeviceInfo> &present, const QMap<int, QString> &port_map)
{
    PortListing listing;
    QList<bool> claimed(present.size(), false);
    QSet<int> used;

    auto find_present = [&](const QString &device) -> qsizetype {
        const QString target = resolved(device);
        for (qsizetype i = 0; i < present.size(); ++i) {
            if (present[i].path == device || present[i].by_id == device ||
                resolved(present[i].path) == target)
                return i;
        }
        return -1;
    };
    auto friendly = [](const SerialDeviceInfo &info) {
        if (!info.description.isEmpty())
            return info.description;
        if (!info.by_id.isEmpty())
            return QFileInfo(info.by_id).fileName();
        return QString();
    };

    // Mapped devices keep their numbers.
    for (auto it = port_map.cbegin(); it != port_map.cend(); ++it) {
        const QString device = it.value().trimmed();
        if (it.key() < 1 || device.isEmpty())
            continue;
        if (device.startsWith(QStringLiteral("socket://"), Qt::CaseInsensitive)) {
            const QUrl url(device);
            listing.ports.append({it.key(), device,
                                  QStringLiteral("network %1:%2").arg(url.host()).arg(url.port()),
                                  false});
            used.insert(it.key());
            continue;
        }
        const qsizetype index = find_present(device);
        if (index < 0)
            continue;
        claimed[index] = true;
        listing.ports.append({it.key(), device, friendly(present[index]), false});
        used.insert(it.key());
    }
    // Unmapped UARTs: /dev/ttyS<k> is COM k+1 unless the map gave that
    // number to another device.
    static const QRegularExpression uart(QStringLiteral("^/dev/ttyS(\\d+)$"));
    for (qsizetype i = 0; i < present.size(); ++i) {
        if (claimed[i])
            continue;
        const auto match = uart.match(present[i].path);
        if (!match.hasMatch())
            continue;
        const int number = match.captured(1).toInt() + 1;
        if (used.contains(number) || port_map.contains(number))
            continue;
        claimed[i] = true;
        listing.ports.append({number, present[i].path, friendly(present[i]), false});
        used.insert(number);
    }
    // Everything else needs a "Com<N>=" entry: offer the first free numbers.
    int next = 1;
    for (qsizetype i = 0; i < present.size(); ++i) {
        if (claimed[i])
            continue;
        while (used.contains(next) || port_map.contains(next))
            ++next;
        const QString device = present[i].by_id.isEmpty() ? present[i].path : present[i].by_id;
        listing.ports.append({next, device, friendly(present[i]), true});
        used.insert(next);
    }

    std::sort(listing.ports.begin(), listing.ports.end(),
              [](const PortEntry &a, const PortEntry &b) { return a.number < b.number; });
    for (const PortEntry &entry : listing.ports) {
        listing.items.append(QString::number(entry.number));
        listing.hints.append(
            entry.friendly_name.isEmpty()
                ? QString()
                : QStringLiteral("%1  (%2)").arg(entry.number).arg(entry.friendly_name));
    }
    return listing;
}

QList<SerialDeviceInfo> present_serial_devices()
{
    // by-id names, keyed by the device they point to.
    QMap<QString, QString> by_id;
    const QDir ids(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link :
         ids.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        by_id.insert(resolved(link.absoluteFilePath()), link.absoluteFilePath());

    static const QRegularExpression wanted(QStringLiteral("^tty(S|USB|ACM)\\d+$"));
    QList<SerialDeviceInfo> devices;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        const QString name = port.portName();
        if (!wanted.match(name).hasMatch())
            continue;
        if (name.startsWith(QStringLiteral("ttyS")) && !is_real_uart(name))
            continue;
        SerialDeviceInfo info;
        info.path = port.systemLocation();
        info.by_id = by_id.value(resolved(info.path));
        info.description = port.description();
        info.manufacturer = port.manufacturer();
        info.vendor_id = port.hasVendorIdentifier() ? port.vendorIdentifier() : 0;
        info.driver = driver_of(name);
        devices.append(info);
    }
    return devices;
}

QStringList friendly_names(const PortListing &listing)
{
    QStringList names;
    for (const PortEntry &entry : listing.ports) {
        if (!entry.friendly_name.isEmpty())
            names.append(QStringLiteral("COM%1: = %2 (%3)")
                             .arg(entry.number)
                             .arg(entry.friendly_name, entry.device));
    }
    return names;
}

AdapterIdentity identify_adapter(quint16 vendor_id, const QString &driver)
{
    const QString d = driver.toLower();
    if (vendor_id == 0x067b || d == QStringLiteral("pl2303"))
        return {0, QStringLiteral("PROLIFIC")};
    if (vendor_id == 0x0403 || d == QStringLiteral("ftdi_sio"))
        return {1, QStringLiteral("FTDI")};
    if (vendor_id == 0x1a86 || d.startsWith(QStringLiteral("ch34")))
        return {1, QStringLiteral("CH341")};
    // ASIX took over MosChip's serial bridges (driver mos7720/mos7840).
    if (vendor_id == 0x0b95 || d.startsWith(QStringLiteral("mos7")))
        return {1, QStringLiteral("ASIX")};
    return {};
}

AdapterIdentity identify_device(const QString &device)
{
    if (device.startsWith(QStringLiteral("socket://"), Qt::CaseInsensitive))
        return {};
    const QString name = QFileInfo(resolved(device)).fileName();
    if (name.isEmpty())
        return {};
    const QSerialPortInfo info(name);
    const quint16 vendor = info.hasVendorIdentifier() ? info.vendorIdentifier() : 0;
    return identify_adapter(vendor, driver_of(name));
}

AdapterIdentity last_identified_adapter()
{
    std::lock_guard lock(last_mutex);
    return last_identity;
}

void set_last_identified_adapter(const AdapterIdentity &identity)
{
    std::lock_guard lock(last_mutex);
    last_identity = identity;
}

} // namespace dnc
