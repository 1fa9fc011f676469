#include "core/measure/maneuver_quality.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

float ratio(float numerator, float denominator) {
    return denominator != 0 ? numerator / denominator * 100.0f : 0.0f;
}

} // namespace

void DeriveManeuver(ManeuverResult& r, int heightCm, int gender) {
    r.VC = std::max(r.FIVC, r.FVC);
    r.MVV = r.FEV1 * 35.0f;
    r.FEV1_FVC = ratio(r.FEV1, r.FVC);
    r.FEV1_VC = ratio(r.FEV1, r.VC);
    r.FEV3_FVC = ratio(r.FEV3, r.FVC);
    r.FEV1_FEV6 = ratio(r.FEV1, r.FEV6);
    const double h = heightCm;
    const double age = gender == kGenderFemale ? 1.40157556 * h - 40.0 * r.FEV1 - 77.28
                                               : 1.12992187 * h - 31.25 * r.FEV1 - 39.375;
    r.ELA = std::int32_t(age);
    if (r.FIV1 == 0)
        r.FIV1 = r.FIVC;
    r.FIV1_FIVC = r.FIVC > 0 ? r.FIV1 * 100.0f / r.FIVC : 0.0f;
}

void Acceptance(const ManeuverResult& record, const TestFileHeader& header, AcceptanceFlags& flags,
                const PulseSample* samples, int n) {
    const double tolerance = std::max(0.15, 0.05 * record.FVC);
    flags.flag[0] = record.EVOL > tolerance * 1000.0 ? 0 : 1;

    // End of test: a plateau of at least 1 s before the last expiratory pulse,
    // reached before the walk has covered too much volume.
    const int last = std::min(record.ExpCount, n) - 1;
    int end = 0;
    if (samples && last >= 0) {
        const std::int64_t lastTime = samples[last].time;
        std::int64_t accumulator = 0;
        for (int i = last; i >= 0; --i) {
            accumulator += 1000LL * header.expCoefficient;
            if (accumulator >= 300000)
                break;
            if (lastTime - std::int64_t(samples[i].time) >= 100000) {
                end = 1;
                break;
            }
        }
    }
    flags.flag[1] = record.Duration >= 6 ? 1 : end;
}

void ComputeMvv(ManeuverList& list, int first, int last, double seconds) {
    if (first < 0 || first >= int(list.size()))
        return;
    last = std::min(last, int(list.size()) - 1);
    double volume = 0;
    for (int i = first; i <= last && list[i].FIVC != 0; ++i)
        volume += list[i].FVC; // the volume expired per minute: each breath once
    list[first].MVV = seconds > 0 ? float(volume * 60.0 / seconds) : 0.0f;
}
