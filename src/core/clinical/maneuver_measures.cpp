#include "core/clinical/maneuver_measures.h"

#include "core/measure/flow_engine.h"

#include <algorithm>

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
    // Time zero lies FET before the end: what precedes it is the hesitant start.
    if (std::isfinite(m.fet))
        m.hesitation = std::max(0.0, (last - first) / 100000.0 - m.fet);
    return m;
}
