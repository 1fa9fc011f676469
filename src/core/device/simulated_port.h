#pragma once
// A DevicePort joined in process to the virtual spirometer. Reads wait a
// little when the device has nothing to say, like a real link's time-out.
#include "core/device/device_port.h"
#include "core/device/virtual_spirometer.h"

#include <atomic>
#include <memory>
#include <mutex>

class SimulatedPort : public DevicePort {
  public:
    // `idleWaitMs`: how long a read waits for the device before giving up.
    explicit SimulatedPort(std::shared_ptr<VirtualSpirometer> device, int idleWaitMs = 2);

    int IsOpen() override;
    int Open() override;
    int Close() override;
    int Write(const unsigned char* buffer, int count) override;
    int Read(unsigned char* buffer, int count) override;
    int ReadSome(unsigned char* buffer, int count) override;
    void SetReadsCancelled(bool cancelled) override { m_readsCancelled = cancelled; }

    std::shared_ptr<VirtualSpirometer> Device() const { return m_device; }

  private:
    int take(unsigned char* buffer, int count);

    std::shared_ptr<VirtualSpirometer> m_device;
    int m_idleWaitMs;
    std::mutex m_mutex; // the receive worker reads while the interface thread may write
    int m_open = 0;
    std::atomic<bool> m_readsCancelled{false};
};
