// The serial line of a machine behind an Ethernet-to-serial device server:
// "socket://host:port", raw TCP carrying the line's bytes both ways.
//
// The device server owns the serial settings (baud rate, parity, ...); the
// line has no modem lines here: DTR and RTS cannot be set and CTS reads as
// on. XON/XOFF flow control is done in software: with it on, a received DC3
// holds the writer until DC1 (hold_transmitter() holds it the same way).
// Unlike a device driver, the DC1/DC3 bytes are still delivered to the
// received event, so the engine sees them as on a line without driver flow
// control and its flow indicator follows the machine.
#pragma once

#include "comm/fd_serial_line.h"

namespace dnc
{

class NetworkSerialLine : public FdSerialLine
{
public:
    NetworkSerialLine() = default;
    ~NetworkSerialLine() override;

    bool has_modem_lines() const override { return false; }
    bool set_dtr(bool) override { return false; }
    bool set_rts(bool) override { return false; }
    bool cts() const override { return true; }
    void set_driver_flow(DriverFlow flow) override;
    void hold_transmitter() override;
    void release_transmitter() override;

    // How long open() waits for the device server to answer.
    static constexpr int kConnectTimeoutMs = 3000;

protected:
    int open_fd(const SerialConfig &config, QString *error, QStringList *refused) override;
    int queued_bytes(int fd) const override;
    qint64 raw_write(int fd, const char *data, qint64 size) override;
    bool flush_output(int fd) override;
    bool flush_input(int fd) override;
    void bytes_arrived(const QByteArray &bytes) override;
    bool output_stopped() const override { return stopped_; }

private:
    std::atomic<bool> xon_xoff_{false};
    std::atomic<bool> stopped_{false};
};

} // namespace dnc
