#include "core/measure/ideal_pulses.h"

#include <algorithm>
#include <cmath>
#include <numbers>

int AppendIdealPulses(PulseStream& out, const VolumeCurve& volume, double duration,
                      double pulseVolume, double startSeconds, std::int32_t direction) {
    if (pulseVolume <= 0 || duration <= 0)
        return 0;
    const double total = volume(duration);
    int count = 0;
    double from = 0;
    for (int n = 1; n * pulseVolume <= total; ++n) {
        // The moment the volume reaches n pulses, by bisection on [from, duration].
        const double target = n * pulseVolume;
        double lo = from, hi = duration;
        for (int i = 0; i < 60 && hi - lo > 1e-9; ++i) {
            const double mid = (lo + hi) / 2;
            (volume(mid) < target ? lo : hi) = mid;
        }
        from = hi;
        const double stamp = std::round((startSeconds + hi) * 100000.0);
        out.push_back(PulseSample{static_cast<std::uint32_t>(stamp), direction});
        ++count;
    }
    return count;
}

double ForcedExpiration::Volume(double t) const {
    if (t <= 0)
        return 0;
    if (t < riseTime)
        return pef * t * t / (2 * riseTime);
    const double atPeak = pef * riseTime / 2;
    const double left = capacity - atPeak; // volume still to come at the peak
    const double s = t - riseTime;
    double fraction; // share of `left` still to come
    if (std::fabs(shape - 1.0) < 1e-9)
        fraction = std::exp(-pef * s / left);
    else
        fraction = std::pow(1.0 + (shape - 1.0) * pef * s / left, -1.0 / (shape - 1.0));
    return capacity - left * fraction;
}

double ForcedExpiration::Flow(double t) const {
    if (t <= 0)
        return 0;
    if (t < riseTime)
        return pef * t / riseTime;
    const double left = capacity - pef * riseTime / 2;
    return pef * std::pow((capacity - Volume(t)) / left, shape);
}

double SineBreath::Volume(double t) const {
    const double x = std::clamp(t / duration, 0.0, 1.0);
    return volume * (1 - std::cos(std::numbers::pi * x)) / 2;
}

double SineBreath::PeakFlow() const {
    return volume * std::numbers::pi / (2 * duration);
}
