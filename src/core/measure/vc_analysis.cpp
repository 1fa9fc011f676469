#include "core/measure/vc_analysis.h"

#include <algorithm>

namespace {

// First sample of breath k in the stream (expiratory samples, then inspiratory ones).
int firstSampleOf(const ManeuverList& list, int breath) {
    long long start = 0;
    for (int j = 0; j < breath; ++j)
        start += std::max(list[j].ExpCount, 0) + std::max(list[j].InspCount, 0);
    return int(std::min<long long>(start, 0x7FFFFFFF));
}

// The expired volume of a live breath: VC once the record is completed,
// else the larger of its two volumes (what completion will make of it).
double breathVolume(const ManeuverResult& r) {
    return r.VC > 0 ? r.VC : std::max(r.FVC, r.FIVC);
}

struct Means {
    double volume = 0, inspired = 0, total = 0;
};

bool within(double value, double mean) {
    return value >= 0.5 * mean && value <= 1.5 * mean;
}

} // namespace

BreathTimes BreathTimesOf(const ManeuverList& list, const PulseStream& stream, int breath) {
    BreathTimes times;
    if (breath < 0 || breath >= int(list.size()))
        return times;
    const long long start = firstSampleOf(list, breath);
    const long long expEnd = start + std::max(list[breath].ExpCount, 0); // one past
    const long long inspEnd = expEnd + std::max(list[breath].InspCount, 0);
    if (inspEnd > (long long)stream.size() || expEnd == start)
        return times;
    // Each phase runs from the last sample of the phase before it.
    const double begin = stream[start > 0 ? start - 1 : 0].time;
    const double expLast = stream[expEnd - 1].time;
    times.expiration = (expLast - begin) * 1e-5;
    if (inspEnd > expEnd)
        times.inspiration = (double(stream[inspEnd - 1].time) - expLast) * 1e-5;
    return times;
}

int TidalStability(const ManeuverList& list, const PulseStream& stream, TidalIndices& indices) {
    if (list.size() < 4)
        return 0;
    std::vector<int> run;
    Means sum;  // sums over the run
    Means seed; // the reference while the run is empty
    auto valuesOf = [&](int i) {
        const BreathTimes t = BreathTimesOf(list, stream, i);
        return Means{breathVolume(list[i]), list[i].FIVC, t.expiration + t.inspiration};
    };
    for (int i = 0; i < int(list.size()); ++i) {
        const Means v = valuesOf(i);
        if (i == 0) {
            run.push_back(0);
            sum = v;
            continue;
        }
        const double n = double(run.size());
        const Means mean =
            run.empty() ? seed : Means{sum.volume / n, sum.inspired / n, sum.total / n};
        if (within(v.volume, mean.volume) && within(v.inspired, mean.inspired) &&
            within(v.total, mean.total)) {
            run.push_back(i);
            sum.volume += v.volume;
            sum.inspired += v.inspired;
            sum.total += v.total;
            if (run.size() == 4) {
                std::copy(run.begin(), run.end(), indices.begin());
                return 1;
            }
        } else {
            run.clear();
            sum = Means{};
            seed = v;
        }
    }
    indices = {-1, -1, -1, -1};
    return 0;
}

int VcAnalysis(ManeuverList& list, const PulseStream& stream, const TidalIndices& indices,
               int& found, std::vector<TidalSummary>& summaries) {
    const int n = int(list.size());
    const int first = indices[0];
    auto fail = [&] {
        if (!list.empty())
            list[0].TV = 0;
        found = 0;
        return 0;
    };
    if (n < 4 || first < 0 || first + 3 >= n)
        return fail();

    double meanExp = 0, meanInsp = 0, tE = 0, tI = 0;
    for (int i = first; i < first + 4; ++i) {
        const BreathTimes t = BreathTimesOf(list, stream, i);
        meanExp += list[i].VC / 4;
        meanInsp += list[i].FIVC / 4;
        tE += t.expiration / 4;
        tI += t.inspiration / 4;
    }
    const double tv = (meanExp + meanInsp) / 2;

    // The deep breaths come after the four tidal ones. The phases alternate
    // expiration, inspiration within a record, so the phase right after a deep
    // expiration is the same record's inspiration, and the phase right after a
    // deep inspiration is the next record's expiration.
    enum { kNone, kAfterExpiration, kAfterInspiration } state = kNone;
    double erv = 0, irv = 0;
    int deepExp = -1, deepInsp = -1, misses = 0;
    bool done = false;
    for (int i = first + 4; i < n && !done; ++i) {
        // The breath's own expired volume: its VC field is max(FVC, FIVC) and
        // would take a deep inspiration for a deep expiration.
        const double expired = list[i].FVC;
        const double inspired = list[i].FIVC;
        if (state == kNone) {
            if (expired >= 2 * meanExp) {
                erv = expired - tv;
                deepExp = i;
                state = kAfterExpiration;
                // The inspiration that follows at once, from the bottom of the lungs.
                if (inspired >= erv + 3 * tv) {
                    irv = inspired - tv - erv;
                    deepInsp = i;
                    done = true;
                } else {
                    ++misses;
                }
            } else if (inspired >= 2 * meanInsp) {
                irv = inspired - tv;
                deepInsp = i;
                state = kAfterInspiration;
            }
        } else if (state == kAfterExpiration) {
            if (inspired >= 2 * tv) {
                irv = inspired - tv;
                deepInsp = i;
                done = true;
            } else {
                ++misses;
            }
        } else {
            const bool next = i == deepInsp + 1;
            if (next ? expired >= irv + 3 * tv : expired >= 2 * tv) {
                erv = expired - tv - (next ? irv : 0);
                deepExp = i;
                done = true;
            } else {
                ++misses;
            }
        }
        if (misses > 10)
            break;
    }
    if (!done)
        return fail();

    ManeuverResult& r = list[0];
    r.ERV = float(erv);
    r.IRV = float(irv);
    r.TV = float(tv);
    r.VC = float(irv + tv + erv);
    r.IC = float(irv + tv);
    r.EVC = r.IVC = r.VC;
    r.tE = float(tE);
    r.tI = float(tI);
    r.ttot = float(tI + tE);
    r.TV_tI = tI > 0 ? float(tv / tI) : 0.0f;
    r.tI_ttot = r.ttot > 0 ? float(tI / r.ttot) : 0.0f;
    r.RR = r.ttot > 0 ? 60.0f / r.ttot : 0.0f;
    r.MV = r.RR * r.TV;

    TidalSummary s;
    s.firstTidalBreath = first;
    s.tidalStartSample = firstSampleOf(list, first);
    s.tidalEndSample = firstSampleOf(list, first + 4);
    s.deepExpBreath = deepExp;
    s.deepExpStartSample = firstSampleOf(list, deepExp);
    s.deepExpEndSample = s.deepExpStartSample + list[deepExp].ExpCount;
    s.deepInspBreath = deepInsp;
    s.deepInspStartSample = firstSampleOf(list, deepInsp) + list[deepInsp].ExpCount;
    s.deepInspEndSample = s.deepInspStartSample + list[deepInsp].InspCount;
    s.tidalTime = std::int32_t((tE + tI) * 4 * 100000.0 + 0.5);
    summaries.push_back(s);
    return 1;
}
