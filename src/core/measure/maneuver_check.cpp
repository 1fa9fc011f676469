#include "core/measure/maneuver_check.h"

namespace {

bool within(float value, float low, float high)
{
    return value >= low && value <= high; // false for NaN
}

bool ratio(float percent)
{
    // Two equal volumes (FEV3 of a blow shorter than 3 s, FIV1 of a breath in
    // shorter than 1 s) may give a ratio that rounds just above 100.
    return within(percent, 0.0f, 100.01f);
}

} // namespace

QStringList FailedCheckNames(unsigned checks)
{
    static const struct {
        unsigned bit;
        const char* name;
    } kNames[] = {{kCheckDirection, "direction"},          {kCheckPhaseOrder, "phase-order"},
                  {kCheckTimeStamps, "time-stamps"},       {kCheckVolumeSum, "volume-sum"},
                  {kCheckFirstSecond, "first-second-sum"}, {kCheckPeakSum, "peak-sum"}};
    QStringList names;
    for (const auto& n : kNames)
        if (checks & n.bit)
            names << n.name;
    return names;
}

ManeuverFault CheckFvcManeuver(const ManeuverResult& r, const ManeuverStatus& status)
{
    if (!status.complete)
        return ManeuverFault::kIncomplete;
    if (status.failedChecks)
        return ManeuverFault::kDamaged;
    using L = PhysicalLimits;
    bool plausible = within(r.FVC, L::kMinVolume, L::kMaxVolume) &&
                     within(r.PEF, L::kMinPeak, L::kMaxPeak) && within(r.FEV1, 0.0f, r.FVC) &&
                     ratio(r.FEV1_FVC) && ratio(r.FEV3_FVC) && ratio(r.FEV1_FEV6) &&
                     (r.FIVC == 0.0f || within(r.FIVC, L::kMinVolume, L::kMaxVolume)) &&
                     within(r.PIF, 0.0f, L::kMaxPeak) && ratio(r.FIV1_FIVC) &&
                     within(r.FET, L::kMinTime, L::kMaxTime);
    return plausible ? ManeuverFault::kUsable : ManeuverFault::kImplausible;
}

int BestUsableFvcIndex(const ManeuverList& list, const std::vector<ManeuverStatus>& statuses)
{
    int best = -1;
    float bestSum = 0;
    for (int i = 0; i < int(list.size()); ++i) {
        const ManeuverStatus status = i < int(statuses.size()) ? statuses[i] : ManeuverStatus{};
        if (CheckFvcManeuver(list[i], status) != ManeuverFault::kUsable)
            continue;
        const float sum = list[i].FVC + list[i].FEV1;
        if (best < 0 || sum > bestSum) {
            best = i;
            bestSum = sum;
        }
    }
    return best;
}
