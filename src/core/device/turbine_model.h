#pragma once
// The flow sensor of the virtual spirometer: a turbine that turns once per
// fixed volume of gas and reports each turn as a time-stamped pulse.
#include "core/device/patient_model.h"

#include <cstdint>
#include <vector>

class TurbineModel {
  public:
    // `pulseVolume` is the gas volume (L, at the sensor) of one pulse.
    // `inertia` is the rotor's time constant in seconds (0: an ideal rotor
    // that follows the flow at once).
    explicit TurbineModel(double pulseVolume, double inertia = 0.0);

    // Time stamps (10 us units) of the pulses of one phase that starts at
    // `start` seconds; the phase's body-condition volume is divided by
    // `btpsFactor` to get the volume the sensor sees.
    std::vector<std::uint32_t> PhasePulses(const FlowPhase& phase, double start,
                                           double btpsFactor) const;

  private:
    double m_pulseVolume;
    double m_inertia;
};

// The physical BTPS factor of gas at `celsius` (the device's view, which does
// not depend on the program's setting).
double PhysicalBtpsFactor(double celsius);
