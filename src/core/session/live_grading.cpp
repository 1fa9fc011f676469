#include "core/session/live_grading.h"

#include "core/app/lang_text.h"
#include "core/clinical/maneuver_measures.h"
#include "core/measure/test_file_writer.h"

#include <algorithm>

namespace {

QString verdict(const ManeuverAcceptability& a)
{
    if (a.acceptableFev1 && a.acceptableFvc)
        return GetLangText("CLINICAL", 2578);
    if (a.acceptableFev1)
        return GetLangText("MESSAGE", 3150);
    return GetLangText("CLINICAL", a.usableFev1 || a.usableFvc ? 2579 : 2580);
}

bool repeatable(const ParameterGrade& g, double limit)
{
    return g.acceptable >= 2 && Millilitres(g.spread) <= Millilitres(limit);
}

} // namespace

LiveGrading JudgeBlowsSoFar(const std::vector<ManeuverMeasures>& measures, std::vector<int> blows,
                            int blown, double ageYears)
{
    LiveGrading grading;
    grading.assessment = AssessSession(measures, ageYears);
    grading.blows = std::move(blows);
    const SessionAssessment& s = grading.assessment;
    if (!grading.blows.empty()) {
        const ManeuverAcceptability& last = s.maneuvers.back();
        grading.verdict = GetLangText("MESSAGE", 3149).arg(grading.blows.back() + 1).arg(verdict(last));
        for (ManeuverFinding finding : last.findings)
            grading.reasons << FindingText(finding);
        grading.grade = GetLangText("CLINICAL", 2581)
                            .arg(QChar(s.fev1Grade.grade))
                            .arg(QChar(s.fvcGrade.grade));
    }
    double largest = 0;
    for (const ManeuverMeasures& m : measures)
        largest = std::max(largest, m.fvc);
    const double limit = RepeatabilityTolerance(ageYears, largest);
    if (s.fvcGrade.acceptable >= 2 && s.fev1Grade.acceptable >= 2)
        grading.repeatability = GetLangText("MESSAGE", 3151)
                                    .arg(Millilitres(s.fvcGrade.spread))
                                    .arg(Millilitres(s.fev1Grade.spread))
                                    .arg(Millilitres(limit));
    else
        grading.repeatability = GetLangText("MESSAGE", 3152);

    const int acceptable = std::min(s.fvcGrade.acceptable, s.fev1Grade.acceptable);
    const int left = kSessionBlows - blown;
    if (acceptable >= kAimedBlows && repeatable(s.fvcGrade, limit) && repeatable(s.fev1Grade, limit))
        grading.moreBlows = GetLangText("MESSAGE", 3153);
    else if (left <= 0)
        grading.moreBlows = GetLangText("MESSAGE", 3155).arg(kSessionBlows);
    else
        grading.moreBlows =
            GetLangText("MESSAGE", 3154).arg(std::clamp(kAimedBlows - acceptable, 1, left)).arg(left);
    return grading;
}

LiveGrading GradeLiveSession(const ManeuverList& list, const std::vector<ManeuverStatus>& statuses,
                             const PulseStream& stream, int expCoefficient, double ageYears)
{
    std::vector<ManeuverMeasures> measures;
    std::vector<int> blows;
    for (int i = 0; i < int(list.size()); ++i) {
        const ManeuverStatus status = i < int(statuses.size()) ? statuses[i] : ManeuverStatus{};
        if (CheckFvcManeuver(list[i], status) != ManeuverFault::kUsable)
            continue;
        ManeuverResult record = list[i];
        const PulseStream samples = ManeuverSamples(list, stream, i, record);
        measures.push_back(
            MeasuresFromRecord(record, samples.data(), int(samples.size()), expCoefficient));
        blows.push_back(i);
    }
    return JudgeBlowsSoFar(measures, std::move(blows), int(list.size()), ageYears);
}
