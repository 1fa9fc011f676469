#pragma once
// Bluetooth in memory: radios and inquiry results as set up by the test, and
// a stream that hands out queued bytes after a chosen number of polls.
#include "core/device/bluetooth_transport.h"

#include <QByteArray>

#include <memory>

struct FakeBluetoothState {
    QList<BluetoothTransport::Radio> radios;
    bool inquiryBegins = true;
    QList<BluetoothTransport::Found> found;
    bool connectSucceeds = true;
    int connectCalls = 0;
    quint64 connectedAddress = 0;
    QString connectedService;
    bool connected = false;
    QByteArray sent;
    int sendChunk = 1 << 20; // largest piece one Send takes
    bool sendFails = false;
    QByteArray incoming;
    int pollsBeforeReadable = 0; // polls that find nothing before each receive
    int polls = 0;
    int pollsSinceReceive = 0;
    bool streamEnded = false;
};

class FakeBluetooth : public BluetoothTransport {
  public:
    explicit FakeBluetooth(std::shared_ptr<FakeBluetoothState> state) : m_state(std::move(state)) {}
    QList<Radio> Radios() override { return m_state->radios; }
    bool Discover(bool, QList<Found>& found) override
    {
        if (!m_state->inquiryBegins)
            return false;
        found = m_state->found;
        return true;
    }
    bool Connect(quint64 address, const QString& serviceUuid) override
    {
        ++m_state->connectCalls;
        m_state->connectedAddress = address;
        m_state->connectedService = serviceUuid;
        m_state->connected = m_state->connectSucceeds;
        return m_state->connected;
    }
    void Disconnect() override { m_state->connected = false; }
    int Send(const unsigned char* buffer, int count) override
    {
        if (m_state->sendFails || !m_state->connected)
            return -1;
        const int n = std::min(count, m_state->sendChunk);
        m_state->sent.append(reinterpret_cast<const char*>(buffer), n);
        return n;
    }
    int WaitReadable(int) override
    {
        ++m_state->polls;
        if (!m_state->connected)
            return -1;
        if (m_state->incoming.isEmpty() && !m_state->streamEnded)
            return 0;
        return ++m_state->pollsSinceReceive > m_state->pollsBeforeReadable ? 1 : 0;
    }
    int Receive(unsigned char* buffer, int count) override
    {
        m_state->pollsSinceReceive = 0;
        const int n = std::min(count, static_cast<int>(m_state->incoming.size()));
        std::copy(m_state->incoming.begin(), m_state->incoming.begin() + n, buffer);
        m_state->incoming.remove(0, n);
        return n;
    }

  private:
    std::shared_ptr<FakeBluetoothState> m_state;
};
