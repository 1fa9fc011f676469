#include "core/device/device_watch.h"

#include "core/device/hid_backend.h"
#include "core/device/hid_port.h"
#include "core/device/port_discovery.h"
#include "core/device/serial_port.h"

DeviceWatch::DeviceWatch(Lister lister, QObject* parent)
    : QObject(parent), m_lister(lister ? std::move(lister) : Lister(&DeviceWatch::AttachedDevices))
{
    connect(&m_timer, &QTimer::timeout, this, &DeviceWatch::Poll);
}

QStringList DeviceWatch::AttachedDevices()
{
    QStringList names = PortDiscovery::FindPorts(SerialPort::kVendorId, SerialPort::kProductId);
    for (const HidBackend::DeviceInfo& info :
         MakeHidapiBackend()->Enumerate(HidPort::kVendorId, HidPort::kProductId))
        names.append(info.path);
    return names;
}

void DeviceWatch::Start(int intervalMs)
{
    m_seen = m_lister();
    m_timer.start(intervalMs);
}

void DeviceWatch::Stop()
{
    m_timer.stop();
}

void DeviceWatch::Poll()
{
    const QStringList now = m_lister();
    bool gone = false;
    bool added = false;
    for (const QString& name : m_seen)
        gone = gone || !now.contains(name);
    for (const QString& name : now)
        added = added || !m_seen.contains(name);
    m_seen = now;
    if (gone)
        Q_EMIT removed();
    if (added)
        Q_EMIT arrived();
}
