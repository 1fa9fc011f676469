#pragma once
// The flow sensor of the virtual spirometer: a turbine that turns once per
// fixed volume of gas and reports each turn as a time-stamped pulse.
#include "core/device/patient_model.h"

#include <cstdint>
#include <vector>

// How a real rotor's turning departs from the gas that drives it, as
// fractions of the departures the program's turbine correction removes:
//  - a static curve: up to about 0.03 L/s fast at low flow, 0.2 L/s fast at 8 L/s;
//  - it overshoots changes of flow: a little fast while the flow rises
//    quickly, a little slow while it falls;
//  - it slips at low flow: below about 1 L/s it turns up to 0.063 L/s slow
//    (and does not start below kStallFlow);
//  - it overruns after the peak: while the flow falls it turns faster than
//    the gas by 0.98 % of the peak flow (at most 0.06 L/s), and when the gas
//    stops it keeps turning and runs down with kCoastSeconds;
//    In a trickle of gas (below kFullOverrunFlow) the overrun fades.
struct RotorPhysics {
    // 0: an ideal rotor that follows the gas exactly; 1: the full departures.
    double share = 0.0;

    static constexpr double kStallFlow = 0.005;       // L/s
    static constexpr double kFullOverrunFlow = 0.3;   // L/s; below it the overrun fades
    static constexpr double kCoastSeconds = 0.05; // run-down time constant
    // The rotor of the virtual spirometer. The ascii device sums its raw
    // pulses while the checksum path corrects them, so one rotor serves both
    // protocols only between the two: half the departures.
    static RotorPhysics Virtual() { return {0.6}; }
};

class TurbineModel {
  public:
    // `pulseVolume` is the gas volume (L, at the sensor) of one pulse.
    explicit TurbineModel(double pulseVolume, RotorPhysics rotor = {});

    // Time stamps (10 us units) of the pulses of one phase that starts at
    // `start` seconds; the phase's body-condition volume is divided by
    // `btpsFactor` to get the volume the sensor sees. A real rotor may still
    // turn a little after the phase's gas has stopped.
    std::vector<std::uint32_t> PhasePulses(const FlowPhase& phase, double start,
                                           double btpsFactor) const;

  private:
    std::vector<std::uint32_t> idealPulses(const FlowPhase& phase, double start,
                                           double btpsFactor) const;

    double m_pulseVolume;
    RotorPhysics m_rotor;
};

// The physical BTPS factor of gas at `celsius` (the device's view, which does
// not depend on the program's setting).
double PhysicalBtpsFactor(double celsius);
