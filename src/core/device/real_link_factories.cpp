#include "core/device/real_link_factories.h"

#include "core/device/ascii_command_protocol.h"
#include "core/device/bluetooth_port.h"
#include "core/device/checksum_frame_protocol.h"
#include "core/device/device_manager.h"
#include "core/device/hid_port.h"

std::unique_ptr<DevicePort> HidLinkFactory::MakePort()
{
    return std::make_unique<HidPort>(m_maker ? m_maker() : nullptr);
}

std::unique_ptr<DeviceProtocol> HidLinkFactory::MakeProtocol()
{
    return std::make_unique<ChecksumFrameProtocol>();
}

std::unique_ptr<DevicePort> SerialLinkFactory::MakePort()
{
    if (m_lister)
        return std::make_unique<SerialPort>(m_lister);
    return std::make_unique<SerialPort>();
}

std::unique_ptr<DeviceProtocol> SerialLinkFactory::MakeProtocol()
{
    return std::make_unique<AsciiCommandProtocol>();
}

std::unique_ptr<DevicePort> BluetoothLinkFactory::MakePort()
{
    return std::make_unique<BluetoothPort>(m_link);
}

std::unique_ptr<DeviceProtocol> BluetoothLinkFactory::MakeProtocol()
{
    return std::make_unique<ChecksumFrameProtocol>();
}

void RegisterRealLinks(DeviceManager& manager)
{
    static HidLinkFactory hid;
    static SerialLinkFactory serial;
    static BluetoothLinkFactory bluetooth;
    manager.SetFactory(LinkKind::Hid, &hid);
    manager.SetFactory(LinkKind::Serial, &serial);
    manager.SetFactory(LinkKind::Bluetooth, &bluetooth);
}
