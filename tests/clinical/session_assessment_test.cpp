// Acceptability of single manoeuvres at each limit, the session grades of
// both age bands, and which values a session reports.
#include "core/clinical/session_assessment.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A good blow: small BEV, a plateau, no larger inspiration.
ManeuverMeasures blow(double fvc, double fev1)
{
    ManeuverMeasures m;
    m.fvc = fvc;
    m.fev1 = fev1;
    m.fivc = fvc - 0.05;
    m.pef = 8;
    m.bev = 0.05;
    m.fet = 8;
    m.plateauVolume = 0.016;
    m.hesitation = 0.1;
    return m;
}

bool has(const ManeuverAcceptability& a, ManeuverFinding finding)
{
    return std::find(a.findings.begin(), a.findings.end(), finding) != a.findings.end();
}

TEST(ManeuverAcceptabilityTest, BackExtrapolatedVolumeAtItsLimit)
{
    // 5 % of a small FVC is under 0.100 L: the 0.100 L floor holds.
    ManeuverMeasures m = blow(1.5, 1.2);
    m.bev = 0.100;
    ManeuverAcceptability a = AssessManeuver(m, std::nullopt, 40);
    EXPECT_TRUE(a.acceptableFev1 && a.acceptableFvc && a.usableFev1 && a.usableFvc);
    m.bev = 0.101;
    a = AssessManeuver(m, std::nullopt, 40);
    EXPECT_FALSE(a.acceptableFev1 || a.acceptableFvc || a.usableFev1 || a.usableFvc);
    EXPECT_TRUE(has(a, ManeuverFinding::BevTooLarge));

    // 5 % of a large FVC is over 0.100 L.
    m = blow(4.0, 3.2);
    m.bev = 0.200;
    EXPECT_TRUE(AssessManeuver(m, std::nullopt, 40).acceptableFev1);
    m.bev = 0.201;
    EXPECT_FALSE(AssessManeuver(m, std::nullopt, 40).acceptableFev1);

    // No BEV from the device: nothing can be said for the start.
    m.bev = std::nan("");
    a = AssessManeuver(m, std::nullopt, 40);
    EXPECT_FALSE(a.usableFev1);
    EXPECT_TRUE(has(a, ManeuverFinding::BevUnknown));
}

TEST(ManeuverAcceptabilityTest, EndOfForcedExpirationByEachOfItsThreeWays)
{
    ManeuverMeasures m = blow(4.0, 3.2);
    m.plateauVolume = 0.024;
    m.fet = 6;
    EXPECT_TRUE(AssessManeuver(m, std::nullopt, 40).acceptableFvc);
    m.plateauVolume = 0.025;
    ManeuverAcceptability a = AssessManeuver(m, std::nullopt, 40);
    EXPECT_FALSE(a.acceptableFvc);
    EXPECT_TRUE(a.acceptableFev1); // the end of the blow does not concern FEV1
    EXPECT_TRUE(a.usableFvc);
    EXPECT_TRUE(has(a, ManeuverFinding::NoEndOfExpiration));

    m.plateauVolume = std::nan(""); // a results-only device
    m.fet = 15.0;
    EXPECT_TRUE(AssessManeuver(m, std::nullopt, 40).acceptableFvc);
    m.fet = 14.99;
    EXPECT_FALSE(AssessManeuver(m, std::nullopt, 40).acceptableFvc);

    // Reaching the largest earlier FVC within 0.150 L (over 6 years).
    m.fvc = 3.850;
    EXPECT_TRUE(AssessManeuver(m, 4.0, 40).acceptableFvc);
    m.fvc = 3.849;
    EXPECT_FALSE(AssessManeuver(m, 4.0, 40).acceptableFvc);
    m.fvc = 4.3; // larger than every earlier one
    EXPECT_TRUE(AssessManeuver(m, 4.0, 40).acceptableFvc);

    // At 6 and under: 0.100 L or 10 % of the highest, whichever is greater.
    m.fivc = 0;
    m.fvc = 1.800;
    EXPECT_TRUE(AssessManeuver(m, 2.0, 6).acceptableFvc);
    m.fvc = 1.799;
    EXPECT_FALSE(AssessManeuver(m, 2.0, 6).acceptableFvc);
    m.fvc = 0.900;
    EXPECT_TRUE(AssessManeuver(m, 1.0, 5).acceptableFvc);
    m.fvc = 0.899;
    EXPECT_FALSE(AssessManeuver(m, 1.0, 5).acceptableFvc);
    m.fvc = 0.850; // from 7 years the fixed 0.150 L holds, also for small lungs
    EXPECT_TRUE(AssessManeuver(m, 1.0, 7).acceptableFvc);
}

TEST(ManeuverAcceptabilityTest, LargerInspirationAfterTheBlowAndHesitation)
{
    ManeuverMeasures m = blow(3.0, 2.4);
    m.fivc = 3.150; // 5 % of 3.0 L
    EXPECT_TRUE(AssessManeuver(m, std::nullopt, 40).acceptableFev1);
    m.fivc = 3.151;
    ManeuverAcceptability a = AssessManeuver(m, std::nullopt, 40);
    EXPECT_FALSE(a.acceptableFev1 || a.acceptableFvc);
    EXPECT_TRUE(a.usableFev1 && a.usableFvc); // not asked for usability
    EXPECT_TRUE(has(a, ManeuverFinding::InspirationLarger));
    m = blow(1.0, 0.9);
    m.fivc = 1.100; // the 0.100 L floor
    EXPECT_TRUE(AssessManeuver(m, std::nullopt, 40).acceptableFvc);

    // Hesitation is reported but decides nothing.
    m = blow(3.0, 2.4);
    m.hesitation = 2.0;
    EXPECT_FALSE(has(AssessManeuver(m, std::nullopt, 40), ManeuverFinding::LongHesitation));
    m.hesitation = 2.01;
    a = AssessManeuver(m, std::nullopt, 40);
    EXPECT_TRUE(has(a, ManeuverFinding::LongHesitation));
    EXPECT_TRUE(a.acceptableFev1 && a.acceptableFvc);
}

TEST(GradeTest, EveryGradeOverSixYears)
{
    const double age = 40;
    EXPECT_EQ(GradeParameter({4.0, 3.85, 3.7}, 3, age).grade, 'A');
    EXPECT_EQ(GradeParameter({4.0, 3.849, 3.8}, 3, age).grade, 'C'); // the two largest decide
    EXPECT_EQ(GradeParameter({4.0, 3.85}, 2, age).grade, 'B');
    EXPECT_EQ(GradeParameter({4.0, 3.849}, 2, age).grade, 'C');
    EXPECT_EQ(GradeParameter({4.0, 3.80, 3.0}, 3, age).grade, 'C');
    EXPECT_EQ(GradeParameter({4.0, 3.799}, 2, age).grade, 'D');
    EXPECT_EQ(GradeParameter({4.0, 3.75}, 2, age).grade, 'D');
    EXPECT_EQ(GradeParameter({4.0, 3.749}, 2, age).grade, 'E');
    EXPECT_EQ(GradeParameter({4.0}, 4, age).grade, 'E');
    EXPECT_EQ(GradeParameter({}, 1, age).grade, 'U');
    EXPECT_EQ(GradeParameter({}, 0, age).grade, 'F');
    const ParameterGrade g = GradeParameter({3.1, 3.3, 3.2}, 3, age); // any order
    EXPECT_EQ(g.grade, 'A');
    EXPECT_NEAR(g.spread, 0.1, 1e-12);
    EXPECT_EQ(g.acceptable, 3);
}

TEST(GradeTest, EveryGradeAtSixYearsAndUnder)
{
    // Highest 0.9 L: 10 % is under each fixed band, so 0.100 / 0.150 / 0.200 L hold.
    EXPECT_EQ(GradeParameter({0.9, 0.8, 0.7}, 3, 6).grade, 'A');
    EXPECT_EQ(GradeParameter({0.9, 0.8}, 2, 6).grade, 'B');
    EXPECT_EQ(GradeParameter({0.9, 0.799}, 2, 6).grade, 'C');
    EXPECT_EQ(GradeParameter({0.9, 0.75}, 2, 6).grade, 'C');
    EXPECT_EQ(GradeParameter({0.9, 0.749}, 2, 6).grade, 'D');
    EXPECT_EQ(GradeParameter({0.9, 0.70}, 2, 6).grade, 'D');
    EXPECT_EQ(GradeParameter({0.9, 0.699}, 2, 6).grade, 'E');
    EXPECT_EQ(GradeParameter({0.9}, 1, 4).grade, 'E');
    EXPECT_EQ(GradeParameter({}, 2, 4).grade, 'U');
    EXPECT_EQ(GradeParameter({}, 0, 4).grade, 'F');
    // Highest 1.6 L: 10 % (0.160 L) is greater than the 0.100 and 0.150 L bands.
    EXPECT_EQ(GradeParameter({1.6, 1.44, 1.4}, 3, 5).grade, 'A');
    EXPECT_EQ(GradeParameter({1.6, 1.439}, 2, 5).grade, 'D'); // 0.161 L: within 0.200 L
    // Just over six years, the adult bands: 0.120 L is A, not the child's C.
    EXPECT_EQ(GradeParameter({0.9, 0.78, 0.7}, 3, 6.01).grade, 'A');
    EXPECT_EQ(GradeParameter({0.9, 0.78, 0.7}, 3, 6.0).grade, 'C');
}

TEST(SessionAssessmentTest, GradesAndReportedValuesFromDifferentBlows)
{
    std::vector<ManeuverMeasures> blows = {blow(4.00, 3.20), blow(4.10, 3.15), blow(3.95, 3.25)};
    blows[1].pef = 9;
    SessionAssessment s = AssessSession(blows, 40);
    EXPECT_EQ(s.fev1Grade.grade, 'A');
    EXPECT_EQ(s.fvcGrade.grade, 'A');
    EXPECT_EQ(s.fvc.maneuver, 1);
    EXPECT_EQ(s.fev1.maneuver, 2);
    EXPECT_FALSE(s.fev1.usableOnly);
    EXPECT_NEAR(s.fev1Fvc(), 3.25 / 4.10, 1e-12);
    EXPECT_EQ(s.flowsManeuver, 1); // largest FEV1 + FVC: 7.25
    EXPECT_FALSE(s.flowsUsableOnly);

    // A poor start spoils FEV1 and FVC; an early stop only FVC.
    blows[1].bev = 0.5;
    blows[2].plateauVolume = 0.2;
    blows[2].fvc = 3.80; // short of the first blow's 4.00 by more than 0.150 L
    s = AssessSession(blows, 40);
    EXPECT_FALSE(s.maneuvers[1].usableFev1);
    EXPECT_TRUE(s.maneuvers[2].acceptableFev1);
    EXPECT_FALSE(s.maneuvers[2].acceptableFvc);
    EXPECT_EQ(s.fev1Grade.grade, 'B'); // 3.20 and 3.25
    EXPECT_EQ(s.fvcGrade.grade, 'E');  // one acceptable FVC
    EXPECT_EQ(s.fvc.maneuver, 0);
    EXPECT_EQ(s.flowsManeuver, 0);
}

TEST(SessionAssessmentTest, EndOfExpirationLooksOnlyAtEarlierBlows)
{
    // No plateau anywhere: the first blow has nothing to reach; the second
    // reaches it; the third is short of the largest earlier one.
    std::vector<ManeuverMeasures> blows = {blow(3.0, 2.5), blow(3.1, 2.6), blow(2.8, 2.6)};
    for (ManeuverMeasures& m : blows)
        m.plateauVolume = 0.1;
    const SessionAssessment s = AssessSession(blows, 40);
    EXPECT_FALSE(s.maneuvers[0].acceptableFvc);
    EXPECT_TRUE(s.maneuvers[1].acceptableFvc);
    EXPECT_FALSE(s.maneuvers[2].acceptableFvc);
    EXPECT_EQ(s.fvcGrade.grade, 'E');
}

TEST(SessionAssessmentTest, UsableValuesOnlyWhenNothingIsAcceptable)
{
    std::vector<ManeuverMeasures> blows = {blow(3.0, 2.5), blow(3.2, 2.4)};
    for (ManeuverMeasures& m : blows)
        m.fivc = m.fvc + 0.4; // not from full lungs: usable, not acceptable
    SessionAssessment s = AssessSession(blows, 40);
    EXPECT_EQ(s.fev1Grade.grade, 'U');
    EXPECT_EQ(s.fvcGrade.grade, 'U');
    EXPECT_TRUE(s.fev1.usableOnly);
    EXPECT_NEAR(s.fev1.value, 2.5, 1e-12);
    EXPECT_NEAR(s.fvc.value, 3.2, 1e-12);
    EXPECT_TRUE(s.flowsUsableOnly);

    for (ManeuverMeasures& m : blows)
        m.bev = 1.0; // not even usable
    s = AssessSession(blows, 40);
    EXPECT_EQ(s.fev1Grade.grade, 'F');
    EXPECT_FALSE(s.fev1.present);
    EXPECT_EQ(s.flowsManeuver, -1);
    EXPECT_TRUE(std::isnan(s.fev1Fvc()));
    EXPECT_TRUE(AssessSession({}, 40).maneuvers.empty());
}

} // namespace
