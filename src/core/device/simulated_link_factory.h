#pragma once
// The link to the virtual spirometer: a SimulatedPort over a fresh device
// model, with the protocol the model speaks.
#include "core/device/link_factory.h"
#include "core/device/virtual_spirometer.h"

#include <memory>

class SimulatedLinkFactory : public LinkFactory {
  public:
    explicit SimulatedLinkFactory(const SimConfig& config) : m_config(config) {}

    std::unique_ptr<DevicePort> MakePort() override;
    std::unique_ptr<DeviceProtocol> MakeProtocol() override;
    LinkKind Kind() const override { return LinkKind::Simulated; }
    // The virtual device never unplugs, so silence is noticed by counting.
    bool CountsIdlePolls() const override { return true; }

    const SimConfig& Config() const { return m_config; }
    // The device behind the last port made (for tests and tools).
    std::shared_ptr<VirtualSpirometer> Device() const { return m_device; }

  private:
    SimConfig m_config;
    std::shared_ptr<VirtualSpirometer> m_device;
};
