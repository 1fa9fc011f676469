#include "core/device/simulated_link_factory.h"

#include "core/device/ascii_command_protocol.h"
#include "core/device/checksum_frame_protocol.h"
#include "core/device/simulated_port.h"

std::unique_ptr<DevicePort> SimulatedLinkFactory::MakePort()
{
    m_device = VirtualSpirometer::Make(m_config);
    return std::make_unique<SimulatedPort>(m_device);
}

std::unique_ptr<DeviceProtocol> SimulatedLinkFactory::MakeProtocol()
{
    if (m_config.protocol == SimProtocol::Ascii)
        return std::make_unique<AsciiCommandProtocol>();
    return std::make_unique<ChecksumFrameProtocol>();
}
