#pragma once
#include "core/device/bluetooth_transport.h"

#include <QList>
#include <QString>

#include <atomic>
#include <memory>

struct BluetoothDeviceRecord {
    int index = -1; // position among the kept inquiry results
    QString name;   // at most 64 bytes
    quint64 address = 0;
};

// Finds radios and nearby devices, and holds the one RFCOMM connection to the
// Serial Port Profile service of the chosen spirometer.
class CBlueTooth {
  public:
    static constexpr const char* kSerialPortService = "00001101-0000-1000-8000-00805f9b34fb";

    explicit CBlueTooth(std::unique_ptr<BluetoothTransport> transport = nullptr);
    ~CBlueTooth();

    // Number of local radios, each made discoverable and connectable.
    int EnumerateRadios();
    // Number of named devices found, or -1 when no inquiry could begin.
    int Inquire(bool fresh);
    // 0 on success (also when already connected, whatever the address), else non-zero.
    int ConnectToBlueToothServer(quint64 address);
    int Disconnect();
    // 1 when every byte went out.
    int Send(const unsigned char* buffer, int count);
    // Waits for readability up to `pollLimit` polls of the poll wait each,
    // then takes what is there; `count` in: wanted, out: received.
    int Receive(unsigned char* buffer, int& count, int pollLimit);
    // "aa:bb:cc:dd:ee:ff", most significant byte first.
    static QString AddressText(quint64 address);

    bool IsConnected() const { return m_connected; }
    const QList<BluetoothDeviceRecord>& Devices() const { return m_devices; }
    const QList<BluetoothTransport::Radio>& Radios() const { return m_radios; }
    QString ServiceUuid() const { return m_serviceUuid; }
    void SetServiceUuid(const QString& uuid) { m_serviceUuid = uuid; }
    int PollWait() const { return m_pollWait; }
    // Replaces the system's Bluetooth (tests); drops an open connection first.
    void SetTransport(std::unique_ptr<BluetoothTransport> transport);

  private:
    BluetoothTransport& transport();

    int m_pollWait = 20; // microseconds per readiness poll
    std::unique_ptr<BluetoothTransport> m_transport;
    std::atomic<int> m_connected{0};
    QList<BluetoothDeviceRecord> m_devices;
    QList<BluetoothTransport::Radio> m_radios;
    QString m_serviceUuid = kSerialPortService;
};

// The program's one Bluetooth connection and the device the user chose,
// kept for the whole run beside the application object.
struct BluetoothLink {
    CBlueTooth blueTooth;
    std::atomic<int> chosenIndex{-1};
};
BluetoothLink& SharedBluetooth();
