#pragma once
// The virtual spirometer behind a Bluetooth module: one radio, one named
// device in range, and an RFCOMM stream that carries the device's reports as
// the module does, each padded to a full 64-byte block. It answers at the
// device's own pace, so the Bluetooth port code meets real pauses.
#include "core/device/bluetooth_transport.h"
#include "core/device/virtual_spirometer.h"

#include <QByteArray>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

class SimulatedBluetooth : public BluetoothTransport {
  public:
    static constexpr quint64 kAddress = 0x00A1B2C3D4E5ULL;

    explicit SimulatedBluetooth(std::shared_ptr<VirtualSpirometer> device)
        : m_device(std::move(device))
    {
    }

    QList<Radio> Radios() override { return {{"hci0", 0x1}}; }
    bool Discover(bool, QList<Found>& found) override
    {
        found = {{"Spirometer", kAddress}};
        return true;
    }
    bool Connect(quint64 address, const QString&) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++connects;
        m_connected = address == kAddress;
        return m_connected;
    }
    void Disconnect() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connected = false;
        m_incoming.clear();
    }
    int Send(const unsigned char* buffer, int count) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_connected)
            return -1;
        m_device->HostBytes(buffer, count);
        return count;
    }
    int WaitReadable(int microseconds) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_connected)
                return -1;
            if (m_lull > 0) {
                --m_lull; // counted, not timed: the cut falls where it is meant to
                return 0;
            }
            fill();
            if (!m_incoming.isEmpty())
                return 1;
        }
        // Nothing yet: the wait takes its time, as a radio's does.
        std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
        return 0;
    }
    int Receive(unsigned char* buffer, int count) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        fill();
        int n = std::min(count, static_cast<int>(m_incoming.size()));
        if (m_piece > 0)
            n = std::min(n, m_piece - m_taken % m_piece);
        std::copy(m_incoming.begin(), m_incoming.begin() + n, buffer);
        m_incoming.remove(0, n);
        m_taken += n;
        if (m_piece > 0 && m_taken % m_piece == 0 && !m_incoming.isEmpty())
            m_lull = m_lullPolls;
        return n;
    }
    // From now on each report comes in pieces of `bytes` with `lullPolls`
    // empty polls between them, so reads end inside frames; 0: whole reports.
    void CutReports(int bytes, int lullPolls)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_piece = bytes;
        m_lullPolls = lullPolls;
    }
    // A block that arrives unasked, e.g. a reply that came too late.
    void InjectBlock(const QByteArray& block)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_incoming.append(block.leftJustified(64, '\0'));
    }

    int connects = 0;

  private:
    void fill()
    {
        if (!m_incoming.isEmpty())
            return;
        unsigned char report[64] = {};
        const int n = m_device->DeviceBytes(report, 64);
        if (n > 0)
            m_incoming.append(reinterpret_cast<const char*>(report), 64);
        m_taken = 0;
    }

    std::shared_ptr<VirtualSpirometer> m_device;
    std::mutex m_mutex;
    bool m_connected = false;
    QByteArray m_incoming;
    int m_piece = 0, m_lullPolls = 0; // CutReports
    int m_taken = 0;                  // of the report in m_incoming
    int m_lull = 0;                   // empty polls still to come
};
