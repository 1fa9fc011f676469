#pragma once
// A manoeuvre assembler behind the protocols' event interface. It lives here,
// above both, so that the device and measurement folders stay independent.
#include "core/device/device_protocol.h"
#include "core/device/measurement_sink.h"
#include "core/measure/maneuver_assembler.h"

#include <atomic>

class AssemblerSink : public MeasurementSink {
  public:
    AssemblerSink(MeasurementStore& store, FlowEngine& engine, CurvePointList* points)
        : m_assembler(store, engine, points)
    {
    }

    ManeuverAssembler& Assembler() { return m_assembler; }
    // The protocol whose coefficients a temperature report may change (it
    // corrects them for the gas's temperature); null: they stay as begun.
    void FollowCoefficientsOf(const DeviceProtocol* protocol) { m_protocol = protocol; }

    void Pulse(std::uint32_t time, bool expiration) override
    {
        m_assembler.Pulse(time, expiration);
    }
    void PhaseEnd(bool expiration, const DevicePhaseSums* sums) override
    {
        if (sums)
            m_assembler.PhaseEnd(expiration, true, sums->volumePulses, sums->firstSecondPulses,
                                 sums->peakRate);
        else
            m_assembler.PhaseEnd(expiration);
    }
    void ManeuverEnd() override { m_assembler.ManeuverEnd(); }
    void TestEnd() override { m_assembler.TestEnd(); }
    void WaitMark() override { m_assembler.WaitMark(); }
    void Temperature(int) override
    {
        if (m_protocol)
            m_assembler.SetCoefficients(m_protocol->ExpCoefficient(),
                                        m_protocol->InspCoefficient());
    }
    void DataLost(int pulses) override
    {
        m_assembler.DataLost(pulses);
        ++m_losses;
    }

    // Times the link lost data for good during this test.
    int Losses() const { return m_losses.load(); }
    void ResetLosses() { m_losses = 0; }

  private:
    ManeuverAssembler m_assembler;
    const DeviceProtocol* m_protocol = nullptr;
    std::atomic<int> m_losses{0};
};
