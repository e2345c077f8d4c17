// The adapter list and the addresses offered for the web remote.
#include "remote/adapter_info.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>

#include <deque>

namespace dnc
{
namespace
{

// A getifaddrs() list built by hand, in the order the entries are added.
class FakeInterfaces
{
public:
    void hardware(const char *name, std::initializer_list<unsigned char> mac, unsigned flags = 0)
    {
        sockaddr_ll &ll = links_.emplace_back();
        ll.sll_family = AF_PACKET;
        ll.sll_halen = static_cast<unsigned char>(mac.size());
        ll.sll_hatype = (flags & IFF_LOOPBACK) ? ARPHRD_LOOPBACK : ARPHRD_ETHER;
        ll.sll_ifindex = static_cast<int>(links_.size());
        std::copy(mac.begin(), mac.end(), ll.sll_addr);
        add(name, reinterpret_cast<sockaddr *>(&ll), nullptr, flags);
    }
    void ipv4(const char *name, const char *address, const char *mask, unsigned flags = 0)
    {
        add(name, in(address), in(mask), flags);
    }
    const ifaddrs *list() const { return entries_.empty() ? nullptr : &entries_.front(); }

private:
    sockaddr *in(const char *text)
    {
        sockaddr_in &a = inets_.emplace_back();
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, text, &a.sin_addr);
        return reinterpret_cast<sockaddr *>(&a);
    }
    void add(const char *name, sockaddr *addr, sockaddr *mask, unsigned flags)
    {
        ifaddrs &e = entries_.emplace_back();
        e.ifa_name = const_cast<char *>(name);
        e.ifa_flags = flags | IFF_UP;
        e.ifa_addr = addr;
        e.ifa_netmask = mask;
        if (entries_.size() > 1)
            entries_[entries_.size() - 2].ifa_next = &e;
    }
    std::deque<ifaddrs> entries_;
    std::deque<sockaddr_ll> links_;
    std::deque<sockaddr_in> inets_;
};

TEST(AdapterInfo, AdaptersFromTheSystemList)
{
    FakeInterfaces system;
    system.hardware("lo", {0, 0, 0, 0, 0, 0}, IFF_LOOPBACK);
    system.hardware("eth0", {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e});
    system.hardware("wlan0", {0xde, 0xad, 0xbe, 0xef, 0x00, 0x01});
    system.ipv4("lo", "127.0.0.1", "255.0.0.0", IFF_LOOPBACK);
    system.ipv4("eth0", "192.168.1.20", "255.255.255.0");
    system.ipv4("eth0", "10.0.0.5", "255.0.0.0");
    system.ipv4("tun0", "10.8.0.2", "255.255.255.255");
    const QByteArray routes = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
                              "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\n"
                              "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\n";

    const TIPInfo info = TIPInfo::from_ifaddrs(system.list(), routes);
    ASSERT_EQ(info.MaxAdapters(), 4);
    const TAdapter &eth0 = info.GetAdapter(1);
    EXPECT_EQ(eth0.FName, "eth0");
    EXPECT_EQ(eth0.FHWAddress, "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(eth0.FHWAddressLength, 6);
    EXPECT_EQ(eth0.FAType, ARPHRD_ETHER);
    ASSERT_EQ(eth0.MaxIPAddresses(), 2);
    EXPECT_EQ(eth0.GetIPAddress(1).FAddress, "10.0.0.5");
    EXPECT_EQ(eth0.GetIPAddress(1).FNetmask, "255.0.0.0");
    ASSERT_EQ(eth0.MaxGateways(), 1);
    EXPECT_EQ(eth0.GetGateway(0).asString(), "192.168.1.1");
    EXPECT_TRUE(info.GetAdapter(0).loopback);
    EXPECT_EQ(info.GetAdapter(2).MaxIPAddresses(), 0);
    EXPECT_EQ(info.GetAdapter(3).FHWAddress, "");

    // Loop-back and address-less adapters give nothing; an adapter with two
    // addresses gives both, in order; one without hardware address counts.
    EXPECT_EQ(adapter_address_list(info), (QStringList{"192.168.1.20", "10.0.0.5", "10.8.0.2"}));
    EXPECT_EQ(TIPInfo::from_ifaddrs(nullptr).MaxAdapters(), 0);
}

TEST(AdapterInfo, SelectionRule)
{
    const auto adapter = [](const char *hw, std::initializer_list<const char *> addresses) {
        TAdapter a;
        a.FHWAddress = QString::fromLatin1(hw);
        for (const char *address : addresses)
            a.FIPAddressList.append(
                {QString::fromLatin1(address), QStringLiteral("255.255.255.0")});
        return a;
    };
    const TIPInfo info({
        adapter("00:00:00:00:00:00", {"192.168.5.5"}), // skipped even with an address
        adapter("00:11:22:33:44:55", {"0.0.0.0"}),     // disconnected
        adapter("00:11:22:33:44:56", {"10.0.0.0", "10.0.0.1"}),
        adapter("00:11:22:33:44:57", {"172.16.0.9"}),
    });
    EXPECT_EQ(adapter_address_list(info), (QStringList{"10.0.0.0", "10.0.0.1", "172.16.0.9"}));
    EXPECT_EQ(TInfoIPAddress{}.asString(), "");
}

TEST(AdapterInfo, ThisComputerNeverOffersTheLoopBackAddress)
{
    QString error;
    const QStringList addresses = local_ipv4_addresses(&error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_FALSE(addresses.contains("127.0.0.1"));
    EXPECT_GE(TIPInfo::query().MaxAdapters(), 1);
}

} // namespace
} // namespace dnc
