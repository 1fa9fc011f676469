#include "core/report/quality_statement.h"

#include "core/app/lang_text.h"
#include "core/report/result_tables.h"

#include <algorithm>
#include <cmath>

namespace {
QString clinical(int id)
{
    return GetLangText("CLINICAL", id);
}

QString verdict(bool acceptable, bool usable)
{
    return clinical(acceptable ? 2578 : usable ? 2579 : 2580);
}

// "FVC 0.05 L within 0.150 L" or "FVC 0.32 L over 0.150 L"; nothing to compare with fewer than two.
QString spreadText(const char* name, const ParameterGrade& grade, double limit)
{
    if (!std::isfinite(grade.spread))
        return clinical(2596).arg(name);
    const bool within = Millilitres(grade.spread) <= Millilitres(limit);
    return clinical(within ? 2594 : 2595).arg(name, QString::number(grade.spread, 'f', 2), QString::number(limit, 'f', 3));
}

QString phaseLine(const DayResult& day, const PhaseValues& phase)
{
    const SessionAssessment& a = phase.assessment;
    const double highest = a.fvc.present ? a.fvc.value : 0.0;
    const double limit = RepeatabilityTolerance(day.subject.ageYears, highest);
    return PhaseName(phase.phase) + ": " + clinical(2597).arg(phase.maneuverCount) + "; " + PhaseGradeText(phase) +
           "; " + spreadText("FVC", a.fvcGrade, limit) + "; " +
           spreadText("FEV1", a.fev1Grade, RepeatabilityTolerance(day.subject.ageYears, a.fev1.present ? a.fev1.value : 0.0)) +
           '.';
}

// The last syringe check before the day's tests and, when a test was measured
// under a failed or overdue one, the flag; nothing before checks were logged.
QString calibrationLine(const DayCalibration& calibration)
{
    if (!calibration.lastCheck)
        return QString();
    const CalibrationLogEntry& check = *calibration.lastCheck;
    QString line = GetLangText("MESSAGE", 3179)
                       .arg(check.at.toString("yyyy-MM-dd HH:mm"),
                            GetLangText("MESSAGE", check.passed ? 3180 : 3181)) +
                   '.';
    if (calibration.flag != CheckFlag::None)
        line += ' ' + CheckFlagText(calibration.flag) + '.';
    return line;
}
} // namespace

QString CheckFlagText(CheckFlag flag)
{
    return flag == CheckFlag::None ? QString()
                                   : GetLangText("MESSAGE", flag == CheckFlag::Failed ? 3178 : 3177);
}

QualityStatement DayQualityStatement(int testType, const DayResult& day, int shownIndex)
{
    QualityStatement statement;
    const DayTestList& tests = testType == kTestVc ? day.vc : testType == kTestMvv ? day.mvv : day.fvc;
    QStringList lines;
    if (!tests.empty())
        lines << GetLangText("CASE", 2315).arg(tests.size());
    if (testType == kTestFvc) {
        for (const PhaseValues& phase : day.phases)
            lines << phaseLine(day, phase);
        if (day.postWithoutPre)
            lines << clinical(2598);
    }
    for (const DamagedTest& d : day.damaged)
        if (d.testType == testType)
            lines << clinical(2599).arg(d.dataName, d.reason);
    for (const ReviewedBlow& b : day.reviews)
        if (b.testType == testType)
            lines << ReviewText(b);
    const QString calibration = calibrationLine(day.calibration);
    if (!calibration.isEmpty())
        lines << calibration;
    statement.day = lines.join(' ');
    if (shownIndex < 0 || shownIndex >= int(tests.size()))
        return statement;
    if (testType != kTestFvc) {
        statement.test = GetLangText("CASE", 2319);
        return statement;
    }
    // The shown blow as its phase judged it: one verdict, the 2019 one, the
    // same the phase's grades and values come from.
    if (const ManeuverAcceptability* a = day.Verdict(tests[std::size_t(shownIndex)].dataName)) {
        QStringList findings;
        for (ManeuverFinding finding : a->findings)
            findings << FindingText(finding);
        statement.test = clinical(2577).arg(shownIndex + 1)
                             .arg(verdict(a->acceptableFev1, a->usableFev1), verdict(a->acceptableFvc, a->usableFvc));
        if (!findings.isEmpty())
            statement.test += " (" + findings.join("; ") + ")";
    }
    return statement;
}

QString ReviewText(const ReviewedBlow& blow)
{
    const auto said = [](bool acceptable, char grade) {
        const QString verdict = clinical(acceptable ? 2578 : 2911);
        return grade ? verdict + ", " + clinical(2912).arg(QChar(grade)) : verdict;
    };
    const GradeOverride& r = blow.review;
    return clinical(2910)
        .arg(blow.number)
        .arg(said(blow.automaticAcceptable, blow.automaticGrade),
             said(r.acceptable, r.grade.value_or(0)), r.reason, r.user);
}
