#include "remote/adapter_info.h"

#include <QFile>
#include <QFileInfo>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

namespace dnc
{

namespace
{

QString ipv4_text(const sockaddr *addr)
{
    if (addr == nullptr || addr->sa_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(addr)->sin_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

QString hardware_text(const unsigned char *bytes, int length)
{
    QStringList parts;
    for (int i = 0; i < length; ++i)
        parts.append(QStringLiteral("%1").arg(bytes[i], 2, 16, QChar(u'0')).toUpper());
    return parts.join(u':');
}

// A little-endian hexadecimal IPv4 address of /proc/net/route.
QString route_address(const QByteArray &hex)
{
    bool ok = false;
    const quint32 value = hex.toUInt(&ok, 16);
    if (!ok)
        return {};
    in_addr addr{};
    addr.s_addr = value; // the file holds the address in network byte order
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr, text, sizeof text);
    return QString::fromLatin1(text);
}

TAdapter &adapter_named(std::vector<TAdapter> &adapters, const QString &name)
{
    for (TAdapter &a : adapters) {
        if (a.FName == name)
            return a;
    }
    TAdapter &a = adapters.emplace_back();
    a.FName = name;
    a.FDescription = name;
    return a;
}

// The kernel driver behind an interface ("e1000e"), empty for virtual ones.
QString driver_name(const QString &interface_name)
{
    const QFileInfo link(QStringLiteral("/sys/class/net/%1/device/driver").arg(interface_name));
    return link.isSymLink() ? QFileInfo(link.symLinkTarget()).fileName() : QString();
}

} // namespace

TIPInfo TIPInfo::from_ifaddrs(const ifaddrs *list, const QByteArray &routes)
{
    std::vector<TAdapter> adapters;
    for (const ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr)
            continue;
        TAdapter &adapter = adapter_named(adapters, QString::fromLocal8Bit(entry->ifa_name));
        adapter.loopback = adapter.loopback || (entry->ifa_flags & IFF_LOOPBACK) != 0;
        const sockaddr *addr = entry->ifa_addr;
        if (addr == nullptr)
            continue;
        if (addr->sa_family == AF_PACKET) {
            const auto *ll = reinterpret_cast<const sockaddr_ll *>(addr);
            const int length = std::min<int>(ll->sll_halen, sizeof ll->sll_addr);
            adapter.FHWAddressLength = length;
            adapter.FHWAddress = hardware_text(ll->sll_addr, length);
            adapter.FAIndex = ll->sll_ifindex;
            adapter.FAType = ll->sll_hatype;
        } else if (addr->sa_family == AF_INET) {
            adapter.FIPAddressList.append({ipv4_text(addr), ipv4_text(entry->ifa_netmask)});
            if (adapter.FCurrentIPAddress.asString().isEmpty())
                adapter.FCurrentIPAddress = adapter.FIPAddressList.back();
        }
    }
    // Default gateways: lines of /proc/net/route whose destination is 0.
    for (const QByteArray &line : routes.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 8 || fields[1] != "00000000")
            continue;
        for (TAdapter &adapter : adapters) {
            if (adapter.FName == QString::fromLocal8Bit(fields[0]))
                adapter.FGatewayList.append({route_address(fields[2]), route_address(fields[7])});
        }
    }
    return TIPInfo(std::move(adapters));
}

TIPInfo TIPInfo::query(QString *error)
{
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    QFile route_file(QStringLiteral("/proc/net/route"));
    const QByteArray routes =
        route_file.open(QIODevice::ReadOnly) ? route_file.readAll() : QByteArray();
    TIPInfo info = from_ifaddrs(list, routes);
    ::freeifaddrs(list);
    for (TAdapter &adapter : info.adapters_) {
        const QString driver = driver_name(adapter.FName);
        if (!driver.isEmpty())
            adapter.FDescription = driver;
    }
    return info;
}

QStringList adapter_address_list(const TIPInfo &info)
{
    QStringList addresses;
    for (int i = 0; i < info.MaxAdapters(); ++i) {
        const TAdapter &adapter = info.GetAdapter(i);
        if (adapter.loopback || adapter.FHWAddress == QStringLiteral("00:00:00:00:00:00"))
            continue;
        // No IPv4 address is what the system reports as 0.0.0.0.
        if (adapter.MaxIPAddresses() == 0 ||
            adapter.GetIPAddress(0).asString() == QStringLiteral("0.0.0.0"))
            continue;
        for (int j = 0; j < adapter.MaxIPAddresses(); ++j)
            addresses.append(adapter.GetIPAddress(j).asString());
    }
    return addresses;
}

QStringList local_ipv4_addresses(QString *error)
{
    QString message;
    const TIPInfo info = TIPInfo::query(&message);
    if (!message.isEmpty()) {
        if (error)
            *error = message;
        return {};
    }
    return adapter_address_list(info);
}

} // namespace dnc
