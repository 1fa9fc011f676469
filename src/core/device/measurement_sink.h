#pragma once
// What a wire protocol hands on while a test streams: the decoded events, in
// the order they belong (pulses after any resend), and nothing computed from
// them. The session connects a sink that turns them into manoeuvres.
#include <cstdint>

// The device's own sums of a phase, for devices that send them, in the
// wire's units turned into pulses (no sensor coefficient applied): the
// receiver compares them with the pulses that came.
struct DevicePhaseSums {
    double volumePulses = 0;      // pulses the device counted for the phase
    double firstSecondPulses = 0; // pulses up to the device's time zero + 1 s
    double peakRate = 0;          // pulses per second at the device's peak flow, 0: none
};

class MeasurementSink {
  public:
    virtual ~MeasurementSink() = default;
    // One turbine pulse; time in 10 us units from the start of the test.
    virtual void Pulse(std::uint32_t time, bool expiration) = 0;
    // An expiration or inspiration is over; `sums` when the device sent them.
    virtual void PhaseEnd(bool expiration, const DevicePhaseSums* sums) = 0;
    // The device marked the end of a manoeuvre (breath cycle); links whose
    // wire has no such mark never send it.
    virtual void ManeuverEnd() = 0;
    // The device reported the end of the test.
    virtual void TestEnd() = 0;
    // The device answered a stop command in the stream: it streams no more.
    virtual void DeviceStopped() = 0;
    // The device marked a pause between breaths.
    virtual void WaitMark() = 0;
    virtual void Temperature(int celsius) = 0;
    // Pulses of the current manoeuvre were lost on the link and could not be
    // had again (0 when the number is not known): the receiver gave them up.
    virtual void DataLost(int pulses) = 0;
};
