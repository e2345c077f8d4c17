// Which serial ports this computer has, by the port numbers the operator
// uses, and which USB-serial chip is behind an open port.
//
// Port numbers follow the port map ("Com<N>=" entries of the global
// settings section): a mapped device keeps its number; an unmapped
// /dev/ttyS<k> is COM k+1; an unmapped USB or ACM device gets the first free
// number and is marked as needing a "Com<N>=" entry to be reached under it.
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace dnc
{

// A serial device as the system describes it.
struct SerialDeviceInfo {
    QString path;          // "/dev/ttyUSB0"
    QString by_id;         // "/dev/serial/by-id/usb-FTDI_..." when the system made one
    QString description;   // "FT232R USB UART"
    QString manufacturer;  // "FTDI"
    quint16 vendor_id = 0; // USB vendor id, 0 when not a USB device
    QString driver;        // kernel driver: "ftdi_sio", "pl2303", "serial8250", ...
};

// One entry of the port drop-down.
struct PortEntry {
    int number = 0;
    QString device;        // what the server opens for this number
    QString friendly_name; // empty when the system gave none
    bool needs_map_entry = false;
};

struct PortListing {
    QList<PortEntry> ports; // by number
    QStringList items;      // the drop-down: port numbers as text
    QStringList hints;      // parallel to items: "7  (FT232R USB UART)" or empty
};

// Builds the listing from the devices present and the port map. Network
// entries of the map ("socket://host:port") are listed as present.
PortListing list_ports(const QList<SerialDeviceInfo> &present, const QMap<int, QString> &port_map);

// The serial devices present on this computer: real UARTs among
// /dev/ttyS*, USB adapters (/dev/ttyUSB*) and modems (/dev/ttyACM*).
QList<SerialDeviceInfo> present_serial_devices();

// "COM7: = FT232R USB UART (/dev/ttyUSB0)" for every listed port that has a
// friendly name.
QStringList friendly_names(const PortListing &listing);

// The USB-serial chip behind a port. family 0 is Prolific (its flow control
// needs a different start-up), 1 anything else.
struct AdapterIdentity {
    int family = 1;
    QString chip = QStringLiteral("---"); // "PROLIFIC", "FTDI", "CH341", "ASIX" or "---"
};

// Identifies the chip from the USB vendor id and the kernel driver's name.
AdapterIdentity identify_adapter(quint16 vendor_id, const QString &driver);

// Identifies the chip behind an opened device (a symlink is followed);
// "---" for anything that is not a USB adapter.
AdapterIdentity identify_device(const QString &device);

// The chip of the port opened last, for the application settings window's
// "Chip=" line.
AdapterIdentity last_identified_adapter();
void set_last_identified_adapter(const AdapterIdentity &identity);

} // namespace dnc
