#pragma once
// A HID device in memory: what the port sent is kept report by report, and
// queued input reports are handed out one per read.
#include "core/device/hid_backend.h"

#include <QByteArray>
#include <QList>

#include <deque>
#include <memory>

struct FakeHidState {
    QList<HidBackend::DeviceInfo> devices;
    QByteArray descriptor;
    int openFailures = 0; // this many opens fail before one succeeds
    int openCalls = 0;
    QString openedPath;
    bool open = false;
    QList<QByteArray> written;
    int failWriteNumber = -1;     // this write (0-based) fails
    std::deque<QByteArray> input; // payloads; an empty one stands for a timed-out read
    bool unplugged = false;       // reads fail with an error
};

class FakeHidBackend : public HidBackend {
  public:
    explicit FakeHidBackend(std::shared_ptr<FakeHidState> state) : m_state(std::move(state)) {}

    QList<DeviceInfo> Enumerate(int vendorId, int productId) override
    {
        QList<DeviceInfo> result;
        for (const DeviceInfo& info : m_state->devices) {
            if (info.vendorId == vendorId && info.productId == productId)
                result.append(info);
        }
        return result;
    }
    bool Open(const QString& path) override
    {
        ++m_state->openCalls;
        if (m_state->openFailures > 0) {
            --m_state->openFailures;
            return false;
        }
        m_state->openedPath = path;
        m_state->open = true;
        return true;
    }
    void Close() override { m_state->open = false; }
    bool IsOpen() const override { return m_state->open; }
    QByteArray ReportDescriptor() override { return m_state->descriptor; }
    int Write(const unsigned char* data, int length) override
    {
        const int number = static_cast<int>(m_state->written.size());
        m_state->written.append(QByteArray(reinterpret_cast<const char*>(data), length));
        return number == m_state->failWriteNumber ? -1 : length;
    }
    int Read(unsigned char* data, int length, int) override
    {
        if (m_state->unplugged)
            return -1;
        if (m_state->input.empty())
            return 0;
        const QByteArray next = m_state->input.front();
        m_state->input.pop_front();
        const int n = std::min(length, static_cast<int>(next.size()));
        std::copy(next.begin(), next.begin() + n, data);
        return n;
    }

  private:
    std::shared_ptr<FakeHidState> m_state;
};

inline HidBackend::DeviceInfo SpirometerHid(const QString& path)
{
    return {path, 0x2047, 0x0302, "Texas Instruments", "Spirometer"};
}

// A vendor-defined report descriptor with `bytes` bytes of input and output.
inline QByteArray VendorDescriptor(int bytes)
{
    const char count = static_cast<char>(bytes);
    return QByteArray("\x06\x00\xff\x09\x01\xa1\x01"
                      "\x75\x08\x95",
                      10) +
           count + QByteArray("\x15\x00\x26\xff\x00\x09\x01\x81\x02\x95", 10) + count +
           QByteArray("\x09\x01\x91\x02\xc0", 5);
}
