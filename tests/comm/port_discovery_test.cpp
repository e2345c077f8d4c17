// Port numbers, hints and adapter chips.
#include "comm/port_discovery.h"

#include <gtest/gtest.h>

namespace dnc
{
namespace
{

TEST(PortDiscovery, AdapterChipFromVendorAndDriver)
{
    struct Case {
        quint16 vendor;
        QString driver;
        int family;
        QString chip;
    } cases[] = {
        {0x067b, "pl2303", 0, "PROLIFIC"},
        {0, "pl2303", 0, "PROLIFIC"},
        {0x0403, "ftdi_sio", 1, "FTDI"},
        {0x0403, "", 1, "FTDI"},
        {0x1a86, "ch341-uart", 1, "CH341"},
        {0, "ch341-uart", 1, "CH341"},
        {0x0b95, "", 1, "ASIX"},
        {0, "mos7840", 1, "ASIX"},
        {0x2341, "cdc_acm", 1, "---"},
        {0, "serial8250", 1, "---"},
        {0, "", 1, "---"},
    };
    for (const Case &c : cases) {
        const AdapterIdentity id = identify_adapter(c.vendor, c.driver);
        EXPECT_EQ(id.family, c.family) << c.vendor << " " << c.driver.toStdString();
        EXPECT_EQ(id.chip, c.chip) << c.vendor << " " << c.driver.toStdString();
    }
    EXPECT_EQ(identify_device("socket://10.0.0.5:4001").chip, "---");
    EXPECT_EQ(identify_device("/dev/no-such-device").chip, "---");
}

TEST(PortDiscovery, NumbersFollowThePortMap)
{
    const QList<SerialDeviceInfo> present = {
        {"/dev/ttyS0", "", "", "", 0, "serial8250"},
        {"/dev/ttyS1", "", "", "", 0, "serial8250"},
        {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0", "FT232R USB UART",
         "FTDI", 0x0403, "ftdi_sio"},
        {"/dev/ttyUSB1", "", "USB-Serial Controller", "Prolific", 0x067b, "pl2303"},
        {"/dev/ttyACM0", "", "", "", 0x2341, "cdc_acm"},
    };
    const QMap<int, QString> map = {
        {7, "/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0"},
        {2, "/dev/ttyUSB1"},             // takes COM2 from /dev/ttyS1
        {300, "socket://10.1.2.3:4001"}, // numbers above 255 are fine here
        {12, "/dev/serial/by-id/not-plugged-in"},
    };
    const PortListing listing = list_ports(present, map);
    EXPECT_EQ(listing.items, (QStringList{"1", "2", "3", "4", "7", "300"}));
    EXPECT_EQ(listing.hints, (QStringList{"", "2  (USB-Serial Controller)", "", "",
                                          "7  (FT232R USB UART)", "300  (network 10.1.2.3:4001)"}));
    ASSERT_EQ(listing.ports.size(), 6);
    EXPECT_EQ(listing.ports[0].device, "/dev/ttyS0");
    EXPECT_FALSE(listing.ports[0].needs_map_entry);
    // /dev/ttyS1 lost its number to the map; the ACM modem has no entry
    // either: they get the first free numbers and need "Com<N>=" entries.
    EXPECT_EQ(listing.ports[2].device, "/dev/ttyS1");
    EXPECT_TRUE(listing.ports[2].needs_map_entry);
    EXPECT_EQ(listing.ports[3].device, "/dev/ttyACM0");
    EXPECT_TRUE(listing.ports[3].needs_map_entry);
    EXPECT_FALSE(listing.ports[4].needs_map_entry);

    EXPECT_EQ(
        friendly_names(listing),
        (QStringList{"COM2: = USB-Serial Controller (/dev/ttyUSB1)",
                     "COM7: = FT232R USB UART (/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0)",
                     "COM300: = network 10.1.2.3:4001 (socket://10.1.2.3:4001)"}));
}

TEST(PortDiscovery, UnmappedDevicesAreNumberedAfterTheUarts)
{
    const QList<SerialDeviceInfo> present = {
        {"/dev/ttyUSB0", "/dev/serial/by-id/usb-X", "", "", 0x1a86, "ch341-uart"},
        {"/dev/ttyS0", "", "", "", 0, "serial8250"},
    };
    const PortListing listing = list_ports(present, {});
    ASSERT_EQ(listing.ports.size(), 2);
    EXPECT_EQ(listing.ports[0].number, 1);
    EXPECT_EQ(listing.ports[0].device, "/dev/ttyS0");
    EXPECT_EQ(listing.ports[1].number, 2);
    EXPECT_EQ(listing.ports[1].device, "/dev/serial/by-id/usb-X");
    // Without a description the by-id name is the friendly name.
    EXPECT_EQ(listing.hints[1], "2  (usb-X)");
}

TEST(PortDiscovery, PresentDevicesAreSerialDevices)
{
    for (const SerialDeviceInfo &info : present_serial_devices())
        EXPECT_TRUE(info.path.startsWith("/dev/tty")) << info.path.toStdString();
}

} // namespace
} // namespace dnc
