#include "core/device/turbine_model.h"

#include <algorithm>
#include <cmath>

namespace {
// s; pulses between two steps are placed by interpolation
constexpr double kStep = 1e-4;
} // namespace

double RotorPhysics::SteadySpeed(double flow) const
{
    if (flow <= stallFlow)
        return 0.0;
    const double friction = (stallFlow / flow) * (stallFlow / flow);
    const double blades = highFlowSlip * flow / (flow + highFlowHalf);
    return std::max(0.0, flow * (1.0 - friction - blades));
}

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
    if (m_rotor.ideal)
        return idealPulses(phase, start, btpsFactor);
    std::vector<std::uint32_t> stamps;
    const RotorPhysics& p = m_rotor;
    const double friction = p.stallFlow * p.stallFlow / p.distanceVolume; // L/s^2
    double r = 0.0, turned = 0.0;
    for (long i = 0;; ++i) {
        const double t = i * kStep;
        const double gas = phase.FlowAt(t) / btpsFactor;
        if (gas > p.stallFlow) {
            // The exact step of the lag: stable however short V_d / Q is. A
            // rotor faster than the gas is braked at the pace of its blades.
            const double target = p.SteadySpeed(gas);
            r = target + (r - target) * std::exp(-std::max(gas, r) * kStep / p.distanceVolume);
        } else {
            r = std::max(0.0, r - (r / p.coastSeconds + friction) * kStep);
            if (t > phase.duration && r == 0.0)
                break;
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
