// The quality of a day in words: what holds is said as well as what does not,
// for the shown blow and for each phase of the day, and the live word on each blow.
#include "core/app/lang_text.h"
#include "core/measure/test_store.h"
#include "core/report/quality_statement.h"

#include <gtest/gtest.h>

namespace {

ManeuverMeasures blow(double fvc, double fev1, bool plateau = true)
{
    ManeuverMeasures m;
    m.fvc = fvc;
    m.fev1 = fev1;
    m.fivc = fvc - 0.05;
    m.pef = 8;
    m.bev = 0.05;
    m.fet = plateau ? 8.0 : 3.0;
    m.plateauVolume = plateau ? 0.01 : 0.2;
    m.hesitation = 0.1;
    return m;
}

// A day of one phase whose blows are judged as the model judges them.
DayResult dayOf(int which, const std::vector<ManeuverMeasures>& blows)
{
    DayResult day;
    day.subject.ageYears = 40;
    StoredSession session;
    session.phase = which;
    for (std::size_t i = 0; i < blows.size(); ++i) {
        StoredManeuver m;
        m.dataName = QString("%1.dt").arg(i + 1);
        m.measures = blows[i];
        session.maneuvers.push_back(m);
        DayTest t;
        t.dataName = m.dataName;
        day.fvc.push_back(t);
    }
    session.assessment = AssessSession(blows, day.subject.ageYears);
    day.sessions = {session};
    PhaseValues phase;
    phase.phase = which;
    phase.maneuverCount = int(blows.size());
    phase.assessment = session.assessment;
    for (const StoredManeuver& m : session.maneuvers)
        phase.blows.push_back(m.dataName);
    phase.reported.fev1Grade = session.assessment.fev1Grade.grade;
    phase.reported.fvcGrade = session.assessment.fvcGrade.grade;
    phase.withheld = !session.assessment.fev1.present || !session.assessment.fvc.present;
    day.phases = {phase};
    return day;
}

QString clinical(int id)
{
    return GetLangText("CLINICAL", id);
}

} // namespace

TEST(QualityStatement, EachPhaseSaysItsBlowsGradesAndRepeatability)
{
    const DayResult good = dayOf(kPhasePre, {blow(4.00, 3.20), blow(4.05, 3.25), blow(3.98, 3.18)});
    const QualityStatement q = DayQualityStatement(kTestFvc, good, 1);
    EXPECT_TRUE(q.day.contains(clinical(2550) + ": " + clinical(2597).arg(3)));
    EXPECT_TRUE(q.day.contains(clinical(2590).arg('A').arg('A')));
    EXPECT_TRUE(q.day.contains(clinical(2594).arg("FVC", "0.05", "0.150")));
    EXPECT_TRUE(q.day.contains(clinical(2594).arg("FEV1", "0.05", "0.150")));
    // The shown blow: one verdict, the one the grades were made from.
    EXPECT_EQ(q.test, clinical(2577).arg(2).arg(clinical(2578), clinical(2578)));

    // FEV1 a litre apart: named as not repeatable, the grade falls.
    const DayResult poor = dayOf(kPhasePost, {blow(4.00, 3.20), blow(4.02, 2.20)});
    const QualityStatement p = DayQualityStatement(kTestFvc, poor, 0);
    EXPECT_TRUE(p.day.contains(clinical(2551)));
    EXPECT_TRUE(p.day.contains(clinical(2595).arg("FEV1", "1.00", "0.150")));
    EXPECT_TRUE(p.day.contains(clinical(2594).arg("FVC", "0.02", "0.150")));
}

TEST(QualityStatement, AFailedPhaseAndADamagedTestAreSaid)
{
    // No end of expiration and each short of the largest earlier FVC: nothing acceptable.
    DayResult day = dayOf(kPhasePost, {blow(4.0, 3.2, false), blow(3.5, 3.0, false)});
    day.postWithoutPre = true;
    day.damaged.push_back({"9.dt", kTestFvc, "FEV1 \u2209 [0, 4.1] L"});
    const QualityStatement q = DayQualityStatement(kTestFvc, day, 1);
    EXPECT_NE(day.phases[0].reported.fvcGrade, 'A');
    EXPECT_TRUE(q.day.contains(clinical(2598)));
    EXPECT_TRUE(q.day.contains(clinical(2599).arg("9.dt", "FEV1 \u2209 [0, 4.1] L")));
    EXPECT_TRUE(q.test.contains(FindingText(ManeuverFinding::NoEndOfExpiration)));

    // Another type: its count and no FVC words; an index outside: no test line.
    DayResult vc;
    vc.vc.resize(3);
    const QualityStatement v = DayQualityStatement(kTestVc, vc, 0);
    EXPECT_EQ(v.day, GetLangText("CASE", 2315).arg(3));
    EXPECT_EQ(v.test, GetLangText("CASE", 2319));
    EXPECT_TRUE(DayQualityStatement(kTestFvc, DayResult(), 0).day.isEmpty());
    EXPECT_TRUE(DayQualityStatement(kTestFvc, day, 5).test.isEmpty());
}
