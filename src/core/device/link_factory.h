#pragma once
// Makes the matching port and protocol of one kind of link. The device
// manager holds one factory per kind; the real links (HID, serial,
// Bluetooth) register theirs, the virtual spirometer's is built in.
#include "core/device/device_port.h"
#include "core/device/device_protocol.h"

#include <memory>

enum class LinkKind { Hid, Serial, Bluetooth, Simulated };

class LinkFactory {
  public:
    virtual ~LinkFactory() = default;
    // A new port, not yet opened.
    virtual std::unique_ptr<DevicePort> MakePort() = 0;
    virtual std::unique_ptr<DeviceProtocol> MakeProtocol() = 0;
    virtual LinkKind Kind() const = 0;

    // Links whose reads return empty while the device is silent count idle
    // polls during a test (Bluetooth; the virtual spirometer).
    virtual bool CountsIdlePolls() const { return Kind() == LinkKind::Bluetooth; }

    // Links that share one connection among their ports (Bluetooth): whether
    // it is up, and dropping it so that the next connect asks again.
    virtual bool SharedConnectionUp() { return false; }
    virtual void CloseSharedConnection() {}
};
