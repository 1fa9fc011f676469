#include "core/clinical/maneuver_measures.h"

#include "core/measure/flow_engine.h"

#include <algorithm>

namespace {

// From the first flow to time zero, found by back-extrapolation: the tangent
// at peak flow (the fastest few pulses) down to zero volume. The end of the
// blow plays no part, so a long slow tail is no hesitation.
double hesitation(const PulseSample* samples, int expiratory, double pulseVolume)
{
    constexpr int kWindow = 4; // pulses the peak flow is taken over
    if (expiratory <= kWindow)
        return std::nan("");
    double peak = 0;
    int at = 0;
    for (int i = 0; i + kWindow < expiratory; ++i) {
        const double span = (samples[i + kWindow].time - samples[i].time) / 100000.0;
        if (span > 0 && kWindow * pulseVolume / span > peak) {
            peak = kWindow * pulseVolume / span;
            at = i;
        }
    }
    if (peak <= 0)
        return std::nan("");
    const double peakTime = (samples[at].time + samples[at + kWindow].time) / 200000.0;
    // At a pulse's time the volume of that pulse has passed.
    const double peakVolume = (at + 1 + kWindow / 2.0) * pulseVolume;
    const double timeZero = peakTime - peakVolume / peak;
    return std::max(0.0, timeZero - samples[0].time / 100000.0);
}

} // namespace

ManeuverMeasures MeasuresFromRecord(const ManeuverResult& r, const PulseSample* samples, int count,
                                    int expCoefficient)
{
    ManeuverMeasures m;
    m.fvc = r.FVC;
    m.fev1 = r.FEV1;
    m.fivc = r.FIVC;
    m.pef = r.PEF;
    m.fet = r.FET > 0 ? r.FET : std::nan("");
    // Results-only devices send a zero back-extrapolated volume with a zero
    // FET; only a manoeuvre with a curve has a meaningful one.
    m.bev = r.FVC > 0 ? r.EVOL / 1000.0 : std::nan("");

    const int expiratory = std::min(r.ExpCount, count);
    if (!samples || expiratory < 2)
        return m;
    constexpr std::uint32_t kOneSecond = 100000; // 10 us units
    const std::uint32_t first = samples[0].time;
    const std::uint32_t last = samples[expiratory - 1].time;
    // Pulses in the last second of the expiration, the last one included.
    int pulses = 0;
    for (int i = expiratory - 1; i >= 0 && last - samples[i].time < kOneSecond; --i)
        ++pulses;
    if (last - first >= kOneSecond)
        m.plateauVolume = pulses * FlowEngine::ExpiratoryPulseVolume(expCoefficient);
    m.hesitation = hesitation(samples, expiratory, FlowEngine::ExpiratoryPulseVolume(expCoefficient));
    return m;
}
