#include "core/device/turbine_model.h"

#include <algorithm>
#include <cmath>

TurbineModel::TurbineModel(double pulseVolume, double inertia)
    : m_pulseVolume(pulseVolume), m_inertia(inertia)
{
}

std::vector<std::uint32_t> TurbineModel::PhasePulses(const FlowPhase& phase, double start,
                                                     double btpsFactor) const
{
    std::vector<std::uint32_t> stamps;
    auto stamp = [&](double t) {
        return static_cast<std::uint32_t>(std::llround((start + t) * 100000.0));
    };
    if (m_inertia <= 0.0) {
        // Ideal rotor: a pulse wherever the volume crosses a multiple of the
        // pulse volume; the volume is monotonic, so bisection finds each one.
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
            stamps.push_back(stamp(b));
        }
        return stamps;
    }
    // Rotor with inertia: its speed follows the flow with a first-order lag
    // and keeps turning a little after the flow stops.
    const double dt = 1e-5;
    double rotorFlow = 0.0, turned = 0.0;
    for (double t = 0.0; t < phase.duration + 5.0 * m_inertia; t += dt) {
        rotorFlow += (phase.FlowAt(t) / btpsFactor - rotorFlow) * dt / m_inertia;
        turned += rotorFlow * dt;
        if (turned >= m_pulseVolume) {
            turned -= m_pulseVolume;
            stamps.push_back(stamp(t));
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
