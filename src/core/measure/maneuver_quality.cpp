#include "core/measure/maneuver_quality.h"

#include "core/app/lang_text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

float ratio(float numerator, float denominator) {
    return denominator != 0 ? numerator / denominator * 100.0f : 0.0f;
}

// Repeatable when the two values (in thousandths) differ by less than the tolerance.
int repeatable(double best, double second, int minimum) {
    const int difference = int(std::fabs(best * 1000.0 - second * 1000.0));
    const int tolerance = std::max(int(std::max(best, second) * 1000.0 * 0.05), minimum);
    return difference >= tolerance ? 0 : 1;
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

int BestFvcIndex(const ManeuverList& list) {
    int best = -1;
    float bestSum = 0;
    for (int i = 0; i < int(list.size()); ++i) {
        const float sum = list[i].FVC + list[i].FEV1;
        if (best < 0 || sum > bestSum) {
            best = i;
            bestSum = sum;
        }
    }
    return best;
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

int Repeatability(const ManeuverList& list, RepeatabilityFlags& flags) {
    flags[0] = list.size() > 2 ? 1 : 0;
    if (list.size() <= 2)
        return 1;
    int best = -1, second = -1;
    for (int i = 0; i < int(list.size()); ++i) {
        const float sum = list[i].FVC + list[i].FEV1;
        if (best < 0 || sum >= list[best].FVC + list[best].FEV1) {
            second = best;
            best = i;
        } else if (second < 0 || sum > list[second].FVC + list[second].FEV1) {
            second = i;
        }
    }
    const ManeuverResult& b = list[best];
    const ManeuverResult& s = list[second];
    flags[1] = repeatable(b.FVC, s.FVC, 200);
    flags[2] = repeatable(b.FEV1, s.FEV1, 200);
    flags[3] = repeatable(b.PEF, s.PEF, 0);
    return 1;
}

QualityLines QualityTexts(const AcceptanceFlags& acceptance,
                          const RepeatabilityFlags& repeatability) {
    QualityLines lines;
    if (repeatability[0] == 0) {
        lines.repeatability = GetLangText("CASE", 1273);
    } else {
        if (repeatability[1])
            lines.repeatability += GetLangText("CASE", 1274);
        if (repeatability[2])
            lines.repeatability += GetLangText("CASE", 1275);
        if (repeatability[3])
            lines.repeatability += GetLangText("CASE", 1276);
    }
    if (acceptance.flag[0] == 0)
        lines.acceptability += GetLangText("CASE", 1270);
    if (acceptance.flag[1] == 0)
        lines.acceptability += GetLangText("CASE", 1271);
    return lines;
}
