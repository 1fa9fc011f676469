#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// The few hidapi calls CHID needs, behind an interface so that tests can play
// a HID device without hardware.
class HidBackend {
  public:
    struct DeviceInfo {
        QString path;
        int vendorId = 0;
        int productId = 0;
        QString manufacturer;
        QString product;
    };

    virtual ~HidBackend() = default;

    // Attached devices with this identity, in the system's order.
    virtual QList<DeviceInfo> Enumerate(int vendorId, int productId) = 0;
    virtual bool Open(const QString& path) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The open device's report descriptor; empty when it cannot be read.
    virtual QByteArray ReportDescriptor() = 0;
    // Sends one report, `data[0]` being the report ID; bytes sent or -1.
    virtual int Write(const unsigned char* data, int length) = 0;
    // Waits up to `timeoutMs` for one input report and stores its payload
    // (without a report ID of 0); bytes read, 0 when none came, -1 on an error.
    virtual int Read(unsigned char* data, int length, int timeoutMs) = 0;
};

// hidapi with the hidraw backend.
std::unique_ptr<HidBackend> MakeHidapiBackend();
