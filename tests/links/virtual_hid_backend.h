#pragma once
// The virtual spirometer as a HID device: every report sent goes to the
// device model, every read takes one report of its answer. Stands where
// hidapi and the hardware would be, so HidPort and CHID run unchanged.
#include "core/device/hid_backend.h"
#include "core/device/virtual_spirometer.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

class VirtualHidBackend : public HidBackend {
  public:
    explicit VirtualHidBackend(std::shared_ptr<VirtualSpirometer> device)
        : m_device(std::move(device))
    {
    }

    QList<DeviceInfo> Enumerate(int vendorId, int productId) override
    {
        if (vendorId != 0x2047 || productId != 0x0302)
            return {};
        return {{"/dev/hidraw-virtual", 0x2047, 0x0302, "Texas Instruments", "Spirometer"}};
    }
    bool Open(const QString&) override
    {
        m_open = true;
        return true;
    }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    QByteArray ReportDescriptor() override { return {}; } // the port assumes 65
    int Write(const unsigned char* data, int length) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_device->HostBytes(data + 1, length - 1); // the report ID is not sent on
        return length;
    }
    int Read(unsigned char* data, int length, int timeoutMs) override
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                const int n = m_device->DeviceBytes(data, length);
                if (n > 0)
                    return n;
            }
            if (std::chrono::steady_clock::now() >= until)
                return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

  private:
    std::shared_ptr<VirtualSpirometer> m_device;
    std::mutex m_mutex;
    bool m_open = false;
};
