#pragma once
#include <QList>
#include <QString>

#include <memory>

// The operating system's Bluetooth as CBlueTooth uses it: radios, one
// inquiry, one RFCOMM stream. Calls block; they may come from any thread but
// never from two at once, except Send beside the receive calls.
class BluetoothTransport {
  public:
    struct Radio {
        QString name;
        quint64 address = 0;
    };
    struct Found {
        QString name;
        quint64 address = 0;
    };

    virtual ~BluetoothTransport() = default;

    // The local radios, each made discoverable and connectable.
    virtual QList<Radio> Radios() = 0;
    // Runs one inquiry and lists what answered, in discovery order; false
    // when no inquiry could begin.
    virtual bool Discover(bool fresh, QList<Found>& found) = 0;
    // Opens an RFCOMM stream to the service `serviceUuid` on the device.
    virtual bool Connect(quint64 address, const QString& serviceUuid) = 0;
    virtual void Disconnect() = 0;
    // Bytes accepted for sending, or -1.
    virtual int Send(const unsigned char* buffer, int count) = 0;
    // 1 when bytes (or the end of the stream) are waiting, 0 when nothing
    // came within `waitMicroseconds`, -1 on an error.
    virtual int WaitReadable(int waitMicroseconds) = 0;
    // Bytes taken (at most `count`), 0 when the stream has ended, -1 on an error.
    virtual int Receive(unsigned char* buffer, int count) = 0;
};

// QtBluetooth in full builds; a computer without radios in core-only builds.
std::unique_ptr<BluetoothTransport> MakeSystemBluetoothTransport();
