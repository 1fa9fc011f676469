#pragma once
// The flow sensor of the virtual spirometer: a turbine that turns once per
// fixed volume of gas and reports each turn as a time-stamped pulse.
#include "core/device/patient_model.h"

#include <cstdint>
#include <vector>

// A rotor from physics. Its speed r is written as the gas flow (L/s) that
// would turn it that fast with no losses; Q is the gas flow at the sensor.
//
//  - Slip: at a steady flow the rotor settles at
//        r_eq(Q) = Q (1 - sigma(Q)),
//        sigma(Q) = (Q_s / Q)^2 + sigma_h Q / (Q + Q_h).
//    The first share is bearing friction: a constant friction torque
//    against a gas torque that grows as Q times the speed difference, so it
//    costs a share falling with 1/Q^2 and stops the rotor (r_eq = 0) at the
//    stall flow Q_s. The second is gas that passes the blades without
//    turning them (tip clearance, blade drag), a share that grows as the
//    flow turns turbulent and levels off at sigma_h.
//  - Inertia: while the gas drives it (Q > Q_s) the rotor follows r_eq with
//    a lag whose time constant falls with flow,
//        dr/dt = (r_eq(Q) - r) max(Q, r) / V_d,
//    where V_d, the distance constant, is the gas volume that has to pass
//    for 63 % of a step of speed: V_d = I / (rho R^2) for a rotor of
//    inertia I at blade radius R, about its mass over the gas density. A
//    rotor faster than the gas (after the peak) stirs the slower gas and is
//    braked at the pace of its own blades, hence max(Q, r).
//  - Run-down: below the stall flow nothing drives it, and it coasts down
//    under windage of the still gas and bearing friction,
//        dr/dt = -r / tau_c - Q_s^2 / V_d
//    (the second term the friction deceleration that sets the stall flow).
struct RotorPhysics {
    // A rotor without inertia or losses: one pulse exactly per pulse volume.
    bool ideal = false;
    // L. An 18 mg vane in air of 1.2 g/L: 18 / 1.2 = 15 mL (light vanes
    // of 10 to 80 mg give 8 to 70 mL); it settles within 1.3 ms at 12 L/s
    // and within 15 ms at 1 L/s, and overruns a falling flow by about
    // V_d over the flow's decay time (0.015 L/s for a 1 s decay).
    double distanceVolume = 0.015;
    // L/s. Jewel bearings start a light vane at a few mL/s; an instrument
    // must still see the 25 mL/s that end a blow.
    double stallFlow = 0.003;
    // Share of high-flow gas the rotor departs from, and the flow (L/s) at
    // which half of it is reached. Negative: like most axial turbines past
    // the laminar range, it over-reads at high flow (the swirl of the inlet
    // vanes grows with the flow), by up to 2 %.
    double highFlowSlip = -0.02;
    double highFlowHalf = 6.0;
    // s. Time constant of the run-down in still gas.
    double coastSeconds = 0.04;

    static RotorPhysics Ideal() { return {true}; }
    double SteadySpeed(double flow) const; // r_eq(Q), L/s
};

class TurbineModel {
  public:
    // `pulseVolume` is the gas volume (L, at the sensor) of one pulse.
    TurbineModel(double pulseVolume, RotorPhysics rotor);

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
