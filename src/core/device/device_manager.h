#pragma once
// Owns the one current link to the spirometer: the current port and
// protocol. ConnectDevice picks the kind of link from the settings, makes the
// pair through that kind's factory and proves it with the protocol's
// connection check. With the SIMULATOR setting on it connects to the virtual
// spirometer instead of probing hardware.
#include "core/device/link_factory.h"
#include "core/device/virtual_spirometer.h"

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class SimulatedLinkFactory;

class DeviceManager {
  public:
    DeviceManager();
    ~DeviceManager();

    // 1 when a device answered the connection check, 0 otherwise (also
    // while the link is lent to a worker).
    int ConnectDevice();

    DevicePort* CurrentPort() const { return m_port.get(); }
    DeviceProtocol* CurrentProtocol() const { return m_protocol.get(); }
    // Kind of the current link (valid while there is one).
    LinkKind CurrentKind() const { return m_kind; }
    bool CountsIdlePolls() const { return m_factory && m_factory->CountsIdlePolls(); }
    // Closes the current port when there is one; false while it is lent.
    bool ClosePort();
    // Drops the current objects (not while the link is lent).
    void Disconnect();

    // One owner per link. A session lends the current link to its worker;
    // until the worker returns it, nobody else may connect, close or drop it,
    // so no port is closed or replaced under a read in progress. The worker
    // closes the port itself, through its protocol, when it must.
    void LendLink() { m_lent = true; }
    void ReturnLink() { m_lent = false; }
    bool LinkLent() const { return m_lent.load(); }

    // The real links register their factories (the manager does not own them).
    void SetFactory(LinkKind kind, LinkFactory* factory);
    LinkFactory* Factory(LinkKind kind) const;

    // The manoeuvre the virtual patient performs next (the live test tells it).
    void SetSimulatedTest(int testType) { m_simulatedTest = testType; }
    // A syringe check: the virtual operator pushes strokes of `volume` L at
    // these mean flows instead of the patient's breaths (empty: the patient).
    void SetSimulatedSyringe(double volume, const std::vector<double>& meanFlows)
    {
        m_syringeVolume = volume;
        m_syringeFlows = meanFlows;
    }
    // Replaces the virtual spirometer chosen by the setting (tests inject faults).
    void SetSimulatorConfig(const std::optional<SimConfig>& config) { m_simOverride = config; }
    // Pulses stream at their real pace (the desktop program's demo mode).
    void SetSimulatorRealTime(bool on) { m_simRealTime = on; }
    // The virtual spirometer of the current link, if that is one.
    std::shared_ptr<VirtualSpirometer> SimulatedDevice() const;

  private:
    int connectWith(LinkFactory* factory);
    int connectWired();
    int connectBluetooth();

    std::map<LinkKind, LinkFactory*> m_factories;
    std::unique_ptr<SimulatedLinkFactory> m_simFactory;
    std::unique_ptr<DevicePort> m_port;
    std::unique_ptr<DeviceProtocol> m_protocol;
    LinkFactory* m_factory = nullptr;
    LinkKind m_kind = LinkKind::Simulated;
    int m_simulatedTest = 0;
    bool m_simRealTime = false;
    std::optional<SimConfig> m_simOverride;
    double m_syringeVolume = 0.0;
    std::vector<double> m_syringeFlows;
    std::atomic<bool> m_lent{false};
};
