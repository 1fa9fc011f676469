#include "core/clinical/session_assessment.h"

#include <algorithm>
#include <functional>

ParameterGrade GradeParameter(std::vector<double> values, int usableCount, double ageYears)
{
    ParameterGrade g;
    g.acceptable = int(values.size());
    g.usable = usableCount;
    if (values.empty()) {
        g.grade = usableCount > 0 ? 'U' : 'F';
        return g;
    }
    if (values.size() == 1) {
        g.grade = 'E';
        return g;
    }
    std::sort(values.begin(), values.end(), std::greater<>());
    g.spread = values[0] - values[1];
    const long long spread = Millilitres(values[0]) - Millilitres(values[1]);
    const bool young = ageYears <= 6;
    const double tenPercent = young ? 0.10 * values[0] : 0.0;
    const auto within = [&](double litres) {
        return spread <= Millilitres(std::max(litres, tenPercent));
    };
    if (within(young ? 0.100 : 0.150))
        g.grade = values.size() >= 3 ? 'A' : 'B';
    else if (within(young ? 0.150 : 0.200))
        g.grade = 'C';
    else if (within(young ? 0.200 : 0.250))
        g.grade = 'D';
    else
        g.grade = 'E';
    return g;
}

double SessionAssessment::fev1Fvc() const
{
    if (!fev1.present || !fvc.present || fvc.value <= 0)
        return std::nan("");
    return fev1.value / fvc.value;
}

namespace {

// The largest acceptable value, or the largest usable one marked so.
ReportedValue reported(const std::vector<ManeuverMeasures>& maneuvers,
                       const std::vector<ManeuverAcceptability>& verdicts, bool fev1)
{
    ReportedValue best;
    for (int pass = 0; pass < 2 && !best.present; ++pass) {
        for (int i = 0; i < int(maneuvers.size()); ++i) {
            const ManeuverAcceptability& a = verdicts[i];
            const bool qualifies = pass == 0 ? (fev1 ? a.acceptableFev1 : a.acceptableFvc)
                                             : (fev1 ? a.usableFev1 : a.usableFvc);
            const double value = fev1 ? maneuvers[i].fev1 : maneuvers[i].fvc;
            if (qualifies && (!best.present || value > best.value)) {
                best.present = true;
                best.value = value;
                best.maneuver = i;
                best.usableOnly = pass == 1;
            }
        }
    }
    return best;
}

} // namespace

SessionAssessment AssessSession(const std::vector<ManeuverMeasures>& maneuvers, double ageYears,
                                const std::vector<std::optional<bool>>& reviewed)
{
    SessionAssessment s;
    std::optional<double> largestFvc;
    std::vector<double> acceptableFev1, acceptableFvc;
    int usableFev1 = 0, usableFvc = 0;
    for (std::size_t i = 0; i < maneuvers.size(); ++i) {
        const ManeuverMeasures& m = maneuvers[i];
        ManeuverAcceptability a = AssessManeuver(m, largestFvc, ageYears);
        largestFvc = std::max(largestFvc.value_or(m.fvc), m.fvc);
        if (i < reviewed.size() && reviewed[i]) {
            const bool yes = *reviewed[i];
            a.acceptableFev1 = a.acceptableFvc = yes;
            a.usableFev1 = a.usableFev1 || yes;
            a.usableFvc = a.usableFvc || yes;
        }
        if (a.acceptableFev1)
            acceptableFev1.push_back(m.fev1);
        if (a.acceptableFvc)
            acceptableFvc.push_back(m.fvc);
        usableFev1 += a.usableFev1 ? 1 : 0;
        usableFvc += a.usableFvc ? 1 : 0;
        s.maneuvers.push_back(a);
    }
    s.fev1Grade = GradeParameter(acceptableFev1, usableFev1, ageYears);
    s.fvcGrade = GradeParameter(acceptableFvc, usableFvc, ageYears);
    s.fev1 = reported(maneuvers, s.maneuvers, true);
    s.fvc = reported(maneuvers, s.maneuvers, false);

    // Flows come from the blow with the largest FEV1 + FVC: acceptable for
    // both if any, else acceptable for either, else usable (marked so).
    const std::function<bool(const ManeuverAcceptability&)> tiers[] = {
        [](const ManeuverAcceptability& a) { return a.acceptableFev1 && a.acceptableFvc; },
        [](const ManeuverAcceptability& a) { return a.acceptableFev1 || a.acceptableFvc; },
        [](const ManeuverAcceptability& a) { return a.usableFev1 || a.usableFvc; }};
    for (int tier = 0; tier < 3 && s.flowsManeuver < 0; ++tier) {
        for (int i = 0; i < int(maneuvers.size()); ++i) {
            if (!tiers[tier](s.maneuvers[i]))
                continue;
            const double sum = maneuvers[i].fev1 + maneuvers[i].fvc;
            if (s.flowsManeuver < 0 || sum > maneuvers[s.flowsManeuver].fev1 + maneuvers[s.flowsManeuver].fvc) {
                s.flowsManeuver = i;
                s.flowsUsableOnly = tier == 2;
            }
        }
    }
    return s;
}
