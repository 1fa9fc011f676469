#pragma once
#include "core/device/device_port.h"
#include "core/device/serial_line.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

// The wired link over a serial or USB-serial port, speaking the ascii-command
// protocol. Open tries the configured port (setting PORTNAME) and then every
// port with the device's USB identity, keeping the first that answers the
// "E"/"T" handshake.
class SerialPort : public DevicePort {
  public:
    static constexpr int kBaudRate = 115200;
    static constexpr int kVendorId = 0x2047;
    static constexpr int kProductId = 0x0300;

    // Lists candidate port names in the system's order; the default asks
    // libserialport for ports with the device's USB identity.
    using PortLister = std::function<QStringList()>;

    SerialPort();
    explicit SerialPort(PortLister lister);
    ~SerialPort() override;

    int IsOpen() override;
    int Open() override;
    int Close() override;
    // Drops unread input, then writes; 1 when every byte went out.
    int Write(const unsigned char* buffer, int count) override;
    // Ends after 50 x count + 50 ms, or 100 ms after the last byte;
    // 1 only when all `count` bytes arrived.
    int Read(unsigned char* buffer, int count) override;
    // The same wait; the number of bytes that arrived.
    int ReadSome(unsigned char* buffer, int count) override;
    void SetReadsCancelled(bool cancelled) override { m_readsCancelled = cancelled; }

    // Name of the open port (empty when closed).
    QString PortName() const { return m_portName; }

  private:
    // The bytes that arrived, -1 when the line failed.
    int readUpTo(unsigned char* buffer, int count);
    int findAndOpen();
    int openOne(const QString& name);
    void closeLine();
    void lost();

    PortLister m_lister;
    std::unique_ptr<SerialLine> m_line;
    QString m_portName;
    std::atomic<int> m_open{0};
    std::atomic<bool> m_readsCancelled{false};
};
