#include "core/device/device_protocol.h"

#include "core/device/device_port.h"
#include "core/measure/curve_point_list.h"
#include "core/measure/flow_engine.h"
#include "core/measure/measurement_store.h"

#include <cstring>

DeviceProtocol::DeviceProtocol()
    : m_store(&MeasurementStore::Instance()), m_engine(&FlowEngine::Instance()),
      m_points(&CurvePointList::Instance())
{
}

int DeviceProtocol::Read(unsigned char* buffer, int count)
{
    return m_port ? m_port->Read(buffer, count) : 0;
}

int DeviceProtocol::Write(const unsigned char* buffer, int count)
{
    return m_port ? m_port->Write(buffer, count) : 0;
}

int DeviceProtocol::SetWaitParameters(int, int)
{
    return 1;
}

void DeviceProtocol::Attach(MeasurementStore* store, FlowEngine* engine, CurvePointList* points)
{
    m_store = store;
    m_engine = engine;
    m_points = points;
}

void DeviceProtocol::SetCoefficients(int expCoefficient, int inspCoefficient, int temperature)
{
    m_expCoefficient = expCoefficient;
    m_inspCoefficient = inspCoefficient;
    m_rawInspCoefficient = inspCoefficient;
    m_temperature = temperature;
    m_fixedCoefficients = true;
}

QByteArray DeviceProtocol::DeviceId() const
{
    return QByteArray(m_deviceId, static_cast<int>(strnlen(m_deviceId, sizeof(m_deviceId) - 1)));
}
