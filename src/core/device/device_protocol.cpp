#include "core/device/device_protocol.h"

#include "core/app/lang_text.h"
#include "core/device/device_port.h"

#include <cstring>

namespace {

// Where events go when nobody listens.
class NoSink : public MeasurementSink {
  public:
    void Pulse(std::uint32_t, bool) override {}
    void PhaseEnd(bool, const DevicePhaseSums*) override {}
    void ManeuverEnd() override {}
    void TestEnd() override {}
    void DeviceStopped() override {}
    void WaitMark() override {}
    void Temperature(int) override {}
    void DataLost(int) override {}
};

MeasurementSink* noSink()
{
    static NoSink sink; // holds no state
    return &sink;
}

} // namespace

DeviceProtocol::DeviceProtocol() : m_sink(noSink()) {}

void DeviceProtocol::SetSink(MeasurementSink* sink)
{
    m_sink = sink ? sink : noSink();
}

int DeviceProtocol::Read(unsigned char* buffer, int count)
{
    return m_port ? m_port->Read(buffer, count) : 0;
}

int DeviceProtocol::ReadSome(unsigned char* buffer, int count)
{
    return m_port ? m_port->ReadSome(buffer, count) : 0;
}

int DeviceProtocol::Write(const unsigned char* buffer, int count)
{
    return m_port ? m_port->Write(buffer, count) : 0;
}

int DeviceProtocol::SetWaitParameters(int, int)
{
    return 1;
}

void DeviceProtocol::SetCoefficients(int expCoefficient, int inspCoefficient, int temperature)
{
    m_expCoefficient = expCoefficient;
    m_inspCoefficient = inspCoefficient;
    m_rawInspCoefficient = inspCoefficient;
    m_rawExpCoefficient = expCoefficient;
    m_temperature = temperature;
    m_fixedCoefficients = true;
}

int DeviceProtocol::commandFailed(const QString& what, const QString& expected)
{
    m_commandError = GetLangText("MESSAGE", 3130).arg(what, expected);
    return 0;
}

int DeviceProtocol::checkCoefficientRange()
{
    for (const int c : {m_rawExpCoefficient.load(), m_rawInspCoefficient.load()}) {
        if (c < kMinCoefficient || c > kMaxCoefficient) {
            m_commandError = GetLangText("MESSAGE", 3131)
                                 .arg(c)
                                 .arg(kMinCoefficient)
                                 .arg(kMaxCoefficient);
            return 0;
        }
    }
    return 1;
}

QByteArray DeviceProtocol::DeviceId() const
{
    return QByteArray(m_deviceId, static_cast<int>(strnlen(m_deviceId, sizeof(m_deviceId) - 1)));
}
