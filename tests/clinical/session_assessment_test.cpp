// Acceptability of single manoeuvres at each limit and the grades of both
// age bands (data/acceptability.csv, data/grades.csv), and which values a
// session reports.
#include "core/clinical/session_assessment.h"
#include "support/data_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

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

std::vector<DataRow> table(const QString& file)
{
    return ReadDataTable(QString(CLINICAL_TEST_DATA "/") + file);
}

// Each row of acceptability.csv: a good blow changed where the row says.
TEST(ManeuverAcceptabilityTest, EachLimitOnBothSides)
{
    const QStringList findings = {"BevTooLarge", "BevUnknown", "NoEndOfExpiration", "InspirationLarger",
                                  "LongHesitation"};
    for (const DataRow& row : table("acceptability.csv")) {
        SCOPED_TRACE(row.line());
        ManeuverMeasures m = blow(row.number("fvc"), row.number("fev1"));
        double* fields[] = {&m.fivc, &m.bev, &m.fet, &m.plateauVolume, &m.hesitation};
        const char* columns[] = {"fivc", "bev", "fet", "plateau", "hesitation"};
        for (int i = 0; i < 5; ++i)
            if (!row[columns[i]].isEmpty())
                *fields[i] = row.number(columns[i]);
        const std::optional<double> earlier =
            row["earlier"].isEmpty() ? std::nullopt : std::optional(row.number("earlier"));
        const ManeuverAcceptability a = AssessManeuver(m, earlier, row.number("age"));
        const std::pair<const char*, bool> verdicts[] = {{"acceptable_fev1", a.acceptableFev1},
                                                         {"acceptable_fvc", a.acceptableFvc},
                                                         {"usable_fev1", a.usableFev1},
                                                         {"usable_fvc", a.usableFvc}};
        for (const auto& [column, verdict] : verdicts)
            EXPECT_TRUE(row[column].isEmpty() || verdict == (row[column] == "1")) << column;
        for (QString finding : row["findings"].split(' ', Qt::SkipEmptyParts)) {
            const bool named = !finding.startsWith('-');
            finding.remove('-');
            ASSERT_TRUE(findings.contains(finding)) << finding.toStdString();
            const auto f = ManeuverFinding(findings.indexOf(finding));
            EXPECT_EQ(std::find(a.findings.begin(), a.findings.end(), f) != a.findings.end(), named)
                << finding.toStdString();
        }
    }
}

// Each row of grades.csv.
TEST(GradeTest, EveryGradeInBothAgeBands)
{
    for (const DataRow& row : table("grades.csv")) {
        std::vector<double> values;
        for (const QString& v : row["values"].split(' ', Qt::SkipEmptyParts))
            values.push_back(v.toDouble());
        const ParameterGrade g = GradeParameter(values, row["acceptable"].toInt(), row.number("age"));
        EXPECT_EQ(QString(QChar(g.grade)), row["grade"]) << row.line();
    }
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
