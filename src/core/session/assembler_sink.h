#pragma once
// A manoeuvre assembler behind the protocols' event interface. It lives here,
// above both, so that the device and measurement folders stay independent.
// It holds the rules the decoders do not: a manoeuvre ends with its
// inspiration on a wire without cycle-end marks, and nothing counts once the
// test is over.
#include "core/device/device_protocol.h"
#include "core/device/measurement_sink.h"
#include "core/measure/maneuver_assembler.h"

#include <atomic>

class AssemblerSink : public MeasurementSink {
  public:
    // How the stream stands: the device's test end and its stop reply end it.
    enum class Over { kNo, kTestEnded, kDeviceStopped };

    AssemblerSink(MeasurementStore& store, FlowEngine& engine, CurvePointList* points)
        : m_assembler(store, engine, points)
    {
    }

    ManeuverAssembler& Assembler() { return m_assembler; }
    // Takes `protocol`'s events from now on (after the assembler's Begin):
    // follows the coefficients a temperature report changes, and learns
    // whether its wire marks manoeuvre ends.
    void Attach(DeviceProtocol& protocol)
    {
        m_protocol = &protocol;
        m_endWithInspiration = !protocol.MarksManeuverEnds();
        m_over = Over::kNo;
        protocol.SetSink(this);
    }
    Over StreamOver() const { return m_over.load(); }

    void Pulse(std::uint32_t time, bool expiration) override
    {
        if (open())
            m_assembler.Pulse(time, expiration);
    }
    void PhaseEnd(bool expiration, const DevicePhaseSums* sums) override
    {
        if (!open())
            return;
        if (sums)
            m_assembler.PhaseEnd(expiration, true, sums->volumePulses, sums->firstSecondPulses,
                                 sums->peakRate);
        else
            m_assembler.PhaseEnd(expiration);
        if (!expiration && m_endWithInspiration)
            m_assembler.ManeuverEnd();
    }
    void ManeuverEnd() override
    {
        if (open())
            m_assembler.ManeuverEnd();
    }
    void TestEnd() override
    {
        if (!open())
            return;
        m_assembler.TestEnd();
        m_over = Over::kTestEnded;
    }
    void DeviceStopped() override
    {
        if (open())
            m_over = Over::kDeviceStopped;
    }
    void WaitMark() override
    {
        if (open())
            m_assembler.WaitMark();
    }
    void Temperature(int) override
    {
        if (open() && m_protocol)
            m_assembler.SetCoefficients(m_protocol->ExpCoefficient(),
                                        m_protocol->InspCoefficient());
    }
    void DataLost(int pulses) override
    {
        if (!open())
            return;
        m_assembler.DataLost(pulses);
        ++m_losses;
    }

    // Times the link lost data for good during this test.
    int Losses() const { return m_losses.load(); }
    void ResetLosses() { m_losses = 0; }

  private:
    bool open() const { return m_over.load() == Over::kNo; }

    ManeuverAssembler m_assembler;
    const DeviceProtocol* m_protocol = nullptr;
    bool m_endWithInspiration = false;
    std::atomic<Over> m_over{Over::kNo};
    std::atomic<int> m_losses{0};
};
