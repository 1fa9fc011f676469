#pragma once
// A manoeuvre assembler behind the protocols' event interface. It lives here,
// above both, so that the device and measurement folders stay independent.
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

    void Pulse(std::uint32_t time, bool expiration) override
    {
        m_assembler.Pulse(time, expiration);
    }
    void PhaseEnd(bool expiration, const DevicePhaseSums* sums) override
    {
        if (sums)
            m_assembler.PhaseEnd(expiration, true, sums->firstSecond, sums->peak, sums->volume,
                                 sums->pulses);
        else
            m_assembler.PhaseEnd(expiration, false, 0, 0, 0, 0);
    }
    void ManeuverEnd() override { m_assembler.ManeuverEnd(); }
    void TestEnd() override { m_assembler.TestEnd(); }
    void WaitMark() override { m_assembler.WaitMark(); }
    void Temperature(int) override {} // the protocol corrects its own coefficients
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
    std::atomic<int> m_losses{0};
};
