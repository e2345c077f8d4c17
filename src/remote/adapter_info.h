// This computer's network adapters and their IPv4 addresses, so that the
// application settings can show the operator which address the phone app
// should use for the web remote. The addresses are only shown: the server
// always listens on every interface.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

struct ifaddrs;

namespace dnc
{

struct TInfoIPAddress {
    QString FAddress; // dotted IPv4
    QString FNetmask;

    // FAddress, or an empty text when both texts are empty.
    QString asString() const
    {
        return FAddress.isEmpty() && FNetmask.isEmpty() ? QString() : FAddress;
    }
};

class TAdapter
{
public:
    int FComboIndex = 0;
    QString FName;        // the system's name ("eth0", "enp3s0")
    QString FDescription; // the driver's name when the system tells it, else the name
    int FHWAddressLength = 0;
    QString FHWAddress; // "00:1A:2B:3C:4D:5E"; empty when the adapter has none
    int FAIndex = 0;    // the system's interface index
    int FAType = 0;     // hardware type (ARPHRD_*)
    bool FDHCPEnabled = false;
    TInfoIPAddress FCurrentIPAddress;
    QList<TInfoIPAddress> FIPAddressList; // in the system's order
    QList<TInfoIPAddress> FGatewayList;
    TInfoIPAddress FDHCPServer;
    bool FHaveWINS = false;
    TInfoIPAddress FPrimaryWINSServer;
    TInfoIPAddress FSecondaryWINSServer;
    bool loopback = false;

    int MaxIPAddresses() const { return static_cast<int>(FIPAddressList.size()); }
    TInfoIPAddress GetIPAddress(int index) const { return FIPAddressList.value(index); }
    int MaxGateways() const { return static_cast<int>(FGatewayList.size()); }
    TInfoIPAddress GetGateway(int index) const { return FGatewayList.value(index); }
};

class TIPInfo
{
public:
    TIPInfo() = default;
    explicit TIPInfo(std::vector<TAdapter> adapters) : adapters_(std::move(adapters)) {}

    // The adapters the system reports, in its order. On failure the list is
    // empty and `error` holds the system's message.
    static TIPInfo query(QString *error = nullptr);
    // The adapters of a getifaddrs() list, one per interface in the order of
    // first appearance; `routes` is the text of /proc/net/route (default
    // gateways).
    static TIPInfo from_ifaddrs(const ifaddrs *list, const QByteArray &routes = {});

    int MaxAdapters() const { return static_cast<int>(adapters_.size()); }
    const TAdapter &GetAdapter(int index) const { return adapters_.at(static_cast<size_t>(index)); }

private:
    std::vector<TAdapter> adapters_;
};

// The addresses offered to the operator: every IPv4 address, in order, of
// each adapter that has a hardware address other than 00:00:00:00:00:00, is
// not the loop-back adapter, and whose first address is not 0.0.0.0 (an
// adapter without an address).
QStringList adapter_address_list(const TIPInfo &info);

// The same for this computer; empty with `error` set when the system
// cannot tell.
QStringList local_ipv4_addresses(QString *error = nullptr);

} // namespace dnc
