#pragma once
// The factories of the real links, one per row of the link table:
// USB HID and Bluetooth speak checksum frames, the serial port ascii commands.
// Each can be given a source of its system parts, so tests can put a played
// device where the hardware would be.
#include "core/device/blue_tooth.h"
#include "core/device/hid_backend.h"
#include "core/device/link_factory.h"
#include "core/device/serial_port.h"

#include <functional>
#include <memory>

class DeviceManager;

class HidLinkFactory : public LinkFactory {
  public:
    using BackendMaker = std::function<std::unique_ptr<HidBackend>()>;
    // Without a maker the ports use hidapi.
    explicit HidLinkFactory(BackendMaker maker = {}) : m_maker(std::move(maker)) {}

    std::unique_ptr<DevicePort> MakePort() override;
    std::unique_ptr<DeviceProtocol> MakeProtocol() override;
    LinkKind Kind() const override { return LinkKind::Hid; }

  private:
    BackendMaker m_maker;
};

class SerialLinkFactory : public LinkFactory {
  public:
    // Without a lister the ports run the USB discovery.
    explicit SerialLinkFactory(SerialPort::PortLister lister = {}) : m_lister(std::move(lister)) {}

    std::unique_ptr<DevicePort> MakePort() override;
    std::unique_ptr<DeviceProtocol> MakeProtocol() override;
    LinkKind Kind() const override { return LinkKind::Serial; }

  private:
    SerialPort::PortLister m_lister;
};

class BluetoothLinkFactory : public LinkFactory {
  public:
    explicit BluetoothLinkFactory(BluetoothLink& link = SharedBluetooth()) : m_link(link) {}

    std::unique_ptr<DevicePort> MakePort() override;
    std::unique_ptr<DeviceProtocol> MakeProtocol() override;
    LinkKind Kind() const override { return LinkKind::Bluetooth; }
    bool SharedConnectionUp() override { return m_link.blueTooth.IsConnected(); }
    // The next connect asks the user for a device again.
    void CloseSharedConnection() override { m_link.blueTooth.Disconnect(); }

  private:
    BluetoothLink& m_link;
};

// Gives the manager the process-wide factories of the three real links
// (made on first use, kept until exit). Start-up calls it once.
void RegisterRealLinks(DeviceManager& manager);
