#pragma once
#include "core/device/chid.h"
#include "core/device/device_port.h"

#include <atomic>
#include <memory>

// The wired link to a spirometer that presents itself as a USB HID device,
// speaking the checksum-frame protocol. Byte transfers are cut into reports
// of P = R - 1 payload bytes after the report-ID byte 0.
class HidPort : public DevicePort {
  public:
    static constexpr int kVendorId = 0x2047;
    static constexpr int kProductId = 0x0302;
    static constexpr int kOpenAttempts = 10;
    static constexpr const char* kManufacturer = "Texas Instruments";
    static constexpr const char* kProduct = "Spirometer";

    // Without a backend the port talks to hidapi.
    explicit HidPort(std::unique_ptr<HidBackend> backend = nullptr);
    ~HidPort() override;

    int IsOpen() override;
    int Open() override;
    int Close() override;
    int Write(const unsigned char* buffer, int count) override;
    int Read(unsigned char* buffer, int count) override;

    // R, including the report-ID byte; 0 until opened.
    int ReportLength() const { return m_reportLength; }

  private:
    CHID m_device;
    std::atomic<int> m_reportLength{0};
    std::atomic<int> m_open{0};
};
