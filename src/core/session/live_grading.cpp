#include "core/session/live_grading.h"

#include "core/app/lang_text.h"
#include "core/clinical/maneuver_measures.h"
#include "core/measure/test_file_writer.h"

namespace {

QString verdict(bool acceptable, bool usable)
{
    return GetLangText("CLINICAL", acceptable ? 2578 : usable ? 2579 : 2580);
}

} // namespace

LiveGrading GradeLiveSession(const ManeuverList& list, const std::vector<ManeuverStatus>& statuses,
                             const PulseStream& stream, int expCoefficient, double ageYears)
{
    LiveGrading grading;
    std::vector<ManeuverMeasures> measures;
    for (int i = 0; i < int(list.size()); ++i) {
        const ManeuverStatus status = i < int(statuses.size()) ? statuses[i] : ManeuverStatus{};
        if (CheckFvcManeuver(list[i], status) != ManeuverFault::kUsable)
            continue;
        ManeuverResult record = list[i];
        const PulseStream samples = ManeuverSamples(list, stream, i, record);
        measures.push_back(
            MeasuresFromRecord(record, samples.data(), int(samples.size()), expCoefficient));
        grading.blows.push_back(i);
    }
    grading.assessment = AssessSession(measures, ageYears);
    if (grading.blows.empty())
        return grading;
    const ManeuverAcceptability& last = grading.assessment.maneuvers.back();
    grading.lastBlow = GetLangText("CLINICAL", 2577)
                           .arg(grading.blows.back() + 1)
                           .arg(verdict(last.acceptableFev1, last.usableFev1),
                                verdict(last.acceptableFvc, last.usableFvc));
    for (ManeuverFinding finding : last.findings)
        grading.reasons << FindingText(finding);
    grading.grade = GetLangText("CLINICAL", 2581)
                        .arg(QChar(grading.assessment.fev1Grade.grade))
                        .arg(QChar(grading.assessment.fvcGrade.grade));
    return grading;
}
