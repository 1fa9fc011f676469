#pragma once
// Pulse streams of an ideal turbine (no inertia, no losses) from a flow curve
// whose volume is known: a pulse each time the volume has grown by one
// per-pulse volume. Tests check the flow engine against the curve's truth;
// benchmarks and the virtual spirometer can use the same curves.
#include "core/measure/test_record.h"

#include <functional>

// Volume (L) breathed by time t (s) since the start of the phase; non-decreasing.
using VolumeCurve = std::function<double(double t)>;

// Appends the pulses of `volume` over [0, duration] s, stamped from `startSeconds`
// on (10 us units, rounded), with `direction` (1 expiration, 0 inspiration).
// Returns the number of pulses appended.
int AppendIdealPulses(PulseStream& out, const VolumeCurve& volume, double duration,
                      double pulseVolume, double startSeconds, std::int32_t direction);

// A forced expiration: the flow rises linearly to `pef` in `riseTime`, then
// falls with the volume still to come as pef x (left / left at peak)^shape.
// shape 1 is an exponential emptying; above 1 the tail drags (obstruction).
struct ForcedExpiration {
    double capacity = 4.5;  // L the lungs would give with unlimited time
    double pef = 9.0;       // L/s
    double riseTime = 0.08; // s
    double shape = 1.0;

    double Volume(double t) const;
    double Flow(double t) const;
    // Start of the test by back-extrapolation of the tangent at peak flow.
    double TimeZero() const { return riseTime / 2; }
};

// An inspiration whose flow is half a sine: volume `volume` in `duration` s.
struct SineBreath {
    double volume = 4.0;
    double duration = 2.0;

    double Volume(double t) const;
    double PeakFlow() const;
};
