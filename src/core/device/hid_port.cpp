#include "core/device/hid_port.h"

#include <algorithm>
#include <cstring>
#include <vector>

HidPort::HidPort(std::unique_ptr<HidBackend> backend)
    : m_device(backend ? std::move(backend) : MakeHidapiBackend())
{
}

HidPort::~HidPort()
{
    Close();
}

int HidPort::IsOpen()
{
    return m_open;
}

int HidPort::Open()
{
    m_open = 0;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const int length =
            m_device.SelectDeviceOpen(1, kVendorId, kProductId, kManufacturer, kProduct);
        if (length > 0) {
            m_reportLength = length;
            m_open = 1;
            break;
        }
    }
    return m_open;
}

int HidPort::Close()
{
    m_open = 0;
    if (m_device.IsOpen())
        m_device.Close();
    return 1;
}

int HidPort::Write(const unsigned char* buffer, int count)
{
    const int length = m_reportLength;
    if (!m_open || length < 2 || count < 0 || (count > 0 && !buffer))
        return 0;
    const int payload = length - 1;
    std::vector<unsigned char> report(static_cast<size_t>(length));
    int result = 1;
    // A failed report does not stop the rest: the device resyncs on frames.
    for (int offset = 0; offset < count; offset += payload) {
        std::fill(report.begin(), report.end(), 0);
        std::memcpy(report.data() + 1, buffer + offset,
                    static_cast<size_t>(std::min(payload, count - offset)));
        int written = 0;
        if (!m_device.Write(report.data(), length, &written))
            result = 0;
    }
    return result;
}

int HidPort::Read(unsigned char* buffer, int count)
{
    const int length = m_reportLength;
    if (!m_open || length < 2 || count < 0 || (count > 0 && !buffer))
        return 0;
    const int payload = length - 1;
    std::vector<unsigned char> report(static_cast<size_t>(length) + 1);
    int result = 1;
    for (int offset = 0; offset < count; offset += payload) {
        std::fill(report.begin(), report.end(), 0);
        int got = 0;
        if (!m_device.Read(report.data(), length, &got)) {
            result = 0; // that part of the caller's buffer stays as it was
            if (m_device.Lost()) {
                m_open = 0; // unplugged: a reader must not wait on it any longer
                break;
            }
            continue;
        }
        std::memcpy(buffer + offset, report.data() + 1,
                    static_cast<size_t>(std::min(payload, count - offset)));
    }
    return result;
}
