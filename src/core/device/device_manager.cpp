#include "core/device/device_manager.h"

#include "core/app/interface_thread.h"
#include "core/app/system_settings.h"
#include "core/device/simulated_link_factory.h"
#include "core/device/simulator_memory.h"

DeviceManager::DeviceManager() = default;
DeviceManager::~DeviceManager() = default;

void DeviceManager::SetFactory(LinkKind kind, LinkFactory* factory)
{
    m_factories[kind] = factory;
}

LinkFactory* DeviceManager::Factory(LinkKind kind) const
{
    const auto it = m_factories.find(kind);
    return it == m_factories.end() ? nullptr : it->second;
}

bool DeviceManager::ClosePort()
{
    if (m_lent)
        return false;
    if (m_port)
        m_port->Close();
    return true;
}

void DeviceManager::Disconnect()
{
    if (m_lent)
        return;
    m_protocol.reset();
    m_port.reset();
    m_factory = nullptr;
}

std::shared_ptr<VirtualSpirometer> DeviceManager::SimulatedDevice() const
{
    return m_factory && m_factory == m_simFactory.get() ? m_simFactory->Device() : nullptr;
}

int DeviceManager::connectWith(LinkFactory* factory)
{
    // The old objects go first: their users closed the port already.
    m_protocol.reset();
    m_port.reset();
    m_factory = factory;
    m_kind = factory->Kind();
    m_port = factory->MakePort();
    m_protocol = factory->MakeProtocol();
    m_protocol->SetPort(m_port.get());
    return 1;
}

int DeviceManager::ConnectDevice()
{
    if (m_lent)
        return 0;
    NoteBlockingCall("a device connect");
    const int simulator = Settings().simulator.load();
    if (simulator != 0 || m_simOverride) {
        SimConfig config = m_simOverride
                               ? *m_simOverride
                               : SimConfig::ForSetting(simulator, SimTest(m_simulatedTest));
        if (!m_simOverride)
            config.realTime = m_simRealTime;
        config.test = SimTest(m_simulatedTest);
        if (!m_syringeFlows.empty()) {
            config.syringeFlows = m_syringeFlows;
            config.syringeVolume = static_cast<int>(m_syringeVolume + 0.5);
        }
        RecallSimulatorCalibration(config);
        m_simFactory = std::make_unique<SimulatedLinkFactory>(config);
        connectWith(m_simFactory.get());
        if (!m_port->Open())
            return 0;
        return m_protocol->CheckConnection() ? 1 : 0;
    }
    return Settings().communication.load() == 0 ? connectBluetooth() : connectWired();
}

int DeviceManager::connectWired()
{
    LinkFactory* hid = Factory(LinkKind::Hid);
    LinkFactory* serial = Factory(LinkKind::Serial);
    LinkFactory* chosen = nullptr;
    // Probe with temporary ports: HID first, then the serial port.
    if (hid) {
        auto probe = hid->MakePort();
        if (probe->Open()) {
            probe->Close();
            chosen = hid;
        }
    }
    if (!chosen && serial) {
        auto probe = serial->MakePort();
        if (probe->Open()) {
            probe->Close();
            chosen = serial;
        }
    }
    if (!chosen) {
        Disconnect();
        return 0;
    }
    connectWith(chosen);
    m_port->Open();
    return m_protocol->CheckConnection() ? 1 : 0;
}

int DeviceManager::connectBluetooth()
{
    LinkFactory* bluetooth = Factory(LinkKind::Bluetooth);
    if (!bluetooth)
        return 0;
    if (bluetooth->SharedConnectionUp()) {
        if (m_protocol && m_protocol->CheckConnection())
            return 1;
        if (m_port) {
            unsigned char stale[65] = {};
            m_port->Read(stale, 64); // drain a late reply
            if (m_protocol && m_protocol->CheckConnection())
                return 1;
        }
    }
    int result = 0;
    {
        auto probe = bluetooth->MakePort();
        if (probe->Open()) {
            // All Bluetooth ports share the one connection: the new port is not opened again.
            connectWith(bluetooth);
            result = m_protocol->CheckConnection() ? 1 : 0;
        }
    }
    if (!result)
        bluetooth->CloseSharedConnection();
    return result;
}
