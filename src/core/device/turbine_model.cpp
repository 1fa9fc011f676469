#include "core/device/turbine_model.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kStep = 1e-4;       // s; pulses between two steps are placed by interpolation
constexpr int kStepsPerSlot = 20;    // the 2 ms over which a change of flow is judged
constexpr double kSmoothing = 0.039; // s, time constant of the rotor's mean speed

// How fast the rotor turns (as L/s of gas) minus the gas flow, at rotor
// speed `r` that changed by `change` over the last 2 ms, with mean speed
// `mean`; `overrun` is the excess after the peak (0 before it).
double departure(double r, double change, double mean, double overrun)
{
    const double a = std::min(change, 0.3);
    double d = 0.0061334 * r * r - 0.027205 * r + 0.03157; // static curve
    d += 0.99789 * a * a + 0.5105 * a;                     // speeding up, slowing down
    if (mean < 0.98)
        d -= (-0.2 * mean + 0.175) * mean + 0.025; // slip at low flow
    return d + overrun;
}

} // namespace

TurbineModel::TurbineModel(double pulseVolume, RotorPhysics rotor)
    : m_pulseVolume(pulseVolume), m_rotor(rotor)
{
}

std::vector<std::uint32_t> TurbineModel::idealPulses(const FlowPhase& phase, double start,
                                                     double btpsFactor) const
{
    // A pulse wherever the volume crosses a multiple of the pulse volume; the
    // volume is monotonic, so bisection finds each one.
    std::vector<std::uint32_t> stamps;
    const double total = phase.VolumeAt(phase.duration) / btpsFactor;
    double lo = 0.0;
    for (int n = 1; n * m_pulseVolume <= total; ++n) {
        const double target = n * m_pulseVolume * btpsFactor;
        double a = lo, b = phase.duration;
        for (int i = 0; i < 40; ++i) {
            const double mid = (a + b) / 2.0;
            (phase.VolumeAt(mid) < target ? a : b) = mid;
        }
        lo = b;
        stamps.push_back(static_cast<std::uint32_t>(std::llround((start + b) * 100000.0)));
    }
    return stamps;
}

std::vector<std::uint32_t> TurbineModel::PhasePulses(const FlowPhase& phase, double start,
                                                     double btpsFactor) const
{
    if (m_rotor.share <= 0.0)
        return idealPulses(phase, start, btpsFactor);
    std::vector<std::uint32_t> stamps;
    std::array<double, kStepsPerSlot> past{}; // rotor speed over the last 2 ms
    double r = 0.0, mean = 0.98, turned = 0.0;
    // Overrun sets in once the flow has clearly fallen from a peak and ends
    // when it clearly rises again from a trough.
    bool falling = false;
    double extreme = 0.0, overrun = 0.0;
    long extremeStep = 0;
    const double coast = std::exp(-kStep / RotorPhysics::kCoastSeconds);
    const long last = std::lround((phase.duration + 10 * RotorPhysics::kCoastSeconds) / kStep);
    for (long i = 0; i <= last; ++i) {
        const double t = i * kStep;
        const double gas = t <= phase.duration ? phase.FlowAt(t) / btpsFactor : 0.0;
        const double before = past[i % kStepsPerSlot];
        if (gas >= RotorPhysics::kStallFlow) {
            // The speed at which the rotor's departure and the gas agree. In a
            // trickle of gas the rotor turns too slowly to have momentum to overrun with.
            const double momentum =
                overrun * std::min(1.0, gas / RotorPhysics::kFullOverrunFlow);
            double next = gas;
            for (int k = 0; k < 4; ++k)
                next = std::max(0.0, gas + m_rotor.share *
                                               departure(next, next - before, mean, momentum));
            r = next;
        } else {
            r *= coast; // no gas to drive it: the rotor runs down
            if (t > phase.duration && r < 1e-3)
                break;
        }
        past[i % kStepsPerSlot] = r;
        mean += (r - mean) * kStep / kSmoothing;
        if (!falling) {
            if (r > 0.5 && r > extreme) {
                extreme = r;
                extremeStep = i;
            } else if (extreme - r > 0.3 && i - extremeStep > 5 * kStepsPerSlot) {
                falling = true;
                overrun = std::min(extreme * 0.0098, 0.06);
                extreme = r;
                extremeStep = i;
            }
        } else if (r < extreme) {
            extreme = r;
            extremeStep = i;
        } else if (r - extreme > 0.2 && i - extremeStep > 5 * kStepsPerSlot) {
            falling = false;
            overrun = 0.0;
        }
        const double step = r * kStep;
        turned += step;
        while (turned >= m_pulseVolume && step > 0.0) {
            turned -= m_pulseVolume;
            // The pulse came when the step had turned the rotor far enough.
            const double at = t + kStep * (1.0 - turned / step);
            stamps.push_back(static_cast<std::uint32_t>(std::llround((start + at) * 100000.0)));
        }
    }
    return stamps;
}

double PhysicalBtpsFactor(double celsius)
{
    const double t = std::clamp(celsius, 15.0, 40.0);
    const double water = 9.993 - 0.3952 * t + 0.03775 * t * t;
    return (760.0 - water) * (310.0 / 713.0) / (273.0 + t);
}
