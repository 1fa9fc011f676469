#include "core/device/blue_tooth.h"

#include <QRegularExpression>

namespace {

// A computer without Bluetooth: no radio, nothing found, no connection.
class NoBluetooth : public BluetoothTransport {
  public:
    QList<Radio> Radios() override { return {}; }
    bool Discover(bool, QList<Found>&) override { return false; }
    bool Connect(quint64, const QString&) override { return false; }
    void Disconnect() override {}
    int Send(const unsigned char*, int) override { return -1; }
    int WaitReadable(int) override { return -1; }
    int Receive(unsigned char*, int) override { return -1; }
};

bool wellFormedUuid(const QString& text)
{
    static const QRegularExpression pattern(
        "^[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}$");
    return pattern.match(text).hasMatch();
}

} // namespace

#ifndef TAV_HAVE_QTBLUETOOTH
std::unique_ptr<BluetoothTransport> MakeSystemBluetoothTransport()
{
    return std::make_unique<NoBluetooth>();
}
#endif

CBlueTooth::CBlueTooth(std::unique_ptr<BluetoothTransport> transport)
    : m_transport(std::move(transport))
{
}

CBlueTooth::~CBlueTooth()
{
    Disconnect();
}

BluetoothTransport& CBlueTooth::transport()
{
    // Made on first use: the system's Bluetooth is only touched when asked for.
    if (!m_transport)
        m_transport = MakeSystemBluetoothTransport();
    if (!m_transport)
        m_transport = std::make_unique<NoBluetooth>();
    return *m_transport;
}

void CBlueTooth::SetTransport(std::unique_ptr<BluetoothTransport> transport)
{
    Disconnect();
    m_transport = std::move(transport);
}

int CBlueTooth::EnumerateRadios()
{
    m_radios = transport().Radios();
    return static_cast<int>(m_radios.size());
}

int CBlueTooth::Inquire(bool fresh)
{
    m_devices.clear();
    QList<BluetoothTransport::Found> found;
    if (!transport().Discover(fresh, found))
        return -1;
    for (const auto& device : found) {
        if (device.name.isEmpty())
            continue;
        BluetoothDeviceRecord record;
        record.index = static_cast<int>(m_devices.size());
        // The record holds at most 64 bytes of name; cut whole characters.
        record.name = device.name;
        while (record.name.toUtf8().size() > 64)
            record.name.chop(1);
        record.address = device.address;
        m_devices.append(record);
    }
    return static_cast<int>(m_devices.size());
}

int CBlueTooth::ConnectToBlueToothServer(quint64 address)
{
    if (m_connected)
        return 0;
    if (!wellFormedUuid(m_serviceUuid))
        return -1;
    if (!transport().Connect(address, m_serviceUuid))
        return -1;
    m_connected = 1;
    return 0;
}

int CBlueTooth::Disconnect()
{
    if (m_connected && m_transport)
        m_transport->Disconnect();
    m_connected = 0;
    return 1;
}

int CBlueTooth::Send(const unsigned char* buffer, int count)
{
    if (!buffer || count < 1 || !m_connected)
        return 0;
    int done = 0;
    while (done < count) {
        const int sent = transport().Send(buffer + done, count - done);
        if (sent <= 0)
            return 0;
        done += sent;
    }
    return 1;
}

int CBlueTooth::Receive(unsigned char* buffer, int& count, int pollLimit)
{
    if (!buffer || count < 1 || !m_connected)
        return 0;
    const int wanted = count;
    count = 0;
    bool readable = false;
    for (int poll = 0; poll < pollLimit && !readable; ++poll) {
        const int state = transport().WaitReadable(m_pollWait);
        if (state < 0)
            return 0;
        readable = state > 0;
    }
    if (!readable)
        return 0;
    const int received = transport().Receive(buffer, wanted);
    if (received <= 0)
        return 0;
    count = received;
    return 1;
}

QString CBlueTooth::AddressText(quint64 address)
{
    QStringList parts;
    for (int shift = 40; shift >= 0; shift -= 8)
        parts.append(QString::asprintf("%.2x", static_cast<unsigned>((address >> shift) & 0xFF)));
    return parts.join(':');
}

BluetoothLink& SharedBluetooth()
{
    static BluetoothLink link;
    return link;
}
