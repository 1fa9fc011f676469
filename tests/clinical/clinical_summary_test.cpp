// The day's summary: which sessions it compares, the z-scores and changes it
// shows, the interpretation only for GLI sets, and the z-score bar scale.
#include "support/stored_tests.h"
#include "support/temp_home.h"
#include "support/test_patient.h"

#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/schema_upgrade.h"
#include "core/records/predicted_values.h"
#include "core/report/clinical_summary.h"
#include "core/report/trend_series.h"

#include <gtest/gtest.h>

namespace {

TEST(ZBarTest, ScaleFromMinusFiveToPlusThree)
{
    EXPECT_DOUBLE_EQ(ZBarPosition(-5, 800), 0);
    EXPECT_DOUBLE_EQ(ZBarPosition(3, 800), 800);
    EXPECT_DOUBLE_EQ(ZBarPosition(-9, 800), 0); // off the scale stays on its end
    EXPECT_DOUBLE_EQ(ZBarPosition(7, 800), 800);
    EXPECT_DOUBLE_EQ(ZBarPosition(std::nan(""), 800), 0);
}

class ClinicalSummaryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(db.Open(home.path("data.mdb")));
        ASSERT_TRUE(gli.LoadBuiltIn());
        PatientRecord p = TestPatient("Summary, Ann", 1, QDate(1965, 11, 5), 162, 60, 3 /* GLI-2012 */,
                                      kEthnicCaucasian);
        id = CreatePatient(db, p);
        ASSERT_GT(id, 0);
    }
    // Three blows before and three after the bronchodilator; the largest FEV1
    // and FVC of a phase come from different blows.
    void storeDay()
    {
        const PulseStream good = blowPulses(true);
        for (int i = 0; i < 3; ++i) {
            ManeuverResult pre = blowRecord(3.0f + 0.05f * i, 2.04f - 0.02f * i, good);
            pre.FEF2575 = 2.1f;
            StoreSessionBlow(db, id, 1 + i, pre, good, QString("2026-05-05 08:0%1:00").arg(i),
                             {1, i + 1, kPhasePre});
            StoreSessionBlow(db, id, 4 + i, blowRecord(3.1f + 0.05f * i, 2.54f - 0.02f * i, good), good,
                             QString("2026-05-05 08:4%1:00").arg(i), {4, i + 1, kPhasePost});
        }
    }
    ClinicalSummary summary()
    {
        DayResult day;
        EXPECT_TRUE(LoadDayResult(db, id, QDate(2026, 5, 5), day));
        subject = day.subject;
        return BuildClinicalSummary(day);
    }
    TempHome home;
    Database db;
    GliEquations gli;
    GliSubject subject;
    int id = 0;
};

TEST_F(ClinicalSummaryTest, PreAndPostWithChangesAndInterpretation)
{
    storeDay();
    const ClinicalSummary s = summary();
    EXPECT_TRUE(s.hasPost);
    EXPECT_EQ(s.setName, "GLI-2012");
    const SummaryRow& fev1 = s.rows[0];
    EXPECT_NEAR(fev1.pre.value, 2.04, 1e-6);
    EXPECT_NEAR(fev1.post.value, 2.54, 1e-6);
    EXPECT_EQ(fev1.pre.grade, 'A');
    const GliPrediction p = gli.Predict(GliSet::Gli2012, GliParameter::FEV1, subject);
    ASSERT_TRUE(fev1.pre.reference.available);
    EXPECT_NEAR(fev1.pre.reference.z, p.zScore(fev1.pre.value), 1e-12);
    EXPECT_NEAR(fev1.change.litres, 0.50, 1e-6);
    EXPECT_NEAR(fev1.change.percentPredicted, 100 * 0.50 / p.M, 1e-4);
    EXPECT_TRUE(fev1.change.significant);
    EXPECT_NEAR(s.rows[2].pre.value, 2.04 / 3.10, 1e-6); // FEV1 and FVC of different blows
    // The other reported values follow, referenced only where the set has an equation.
    const auto row = [&](const QString& name) {
        for (const SummaryRow& r : s.rows)
            if (r.name == name)
                return r;
        return SummaryRow{};
    };
    EXPECT_TRUE(row("FEF2575").pre.reference.available);
    EXPECT_NEAR(row("FEF2575").pre.value, 2.1, 1e-6);
    EXPECT_TRUE(row("PEF").pre.present);
    EXPECT_FALSE(row("PEF").pre.reference.available);
    // A value the blows did not give (stored as 0) is no value, never a 0.00.
    EXPECT_FALSE(row("FEF2575").post.present);
    EXPECT_FALSE(row("FEV6").pre.present);
    ASSERT_TRUE(s.interpretation.has_value());
    EXPECT_NEAR(s.interpretation->fev1.value, fev1.pre.value, 1e-12); // pre values interpreted
    ASSERT_TRUE(s.interpretation->bdr.has_value());
    EXPECT_TRUE(s.note.isEmpty());
}

TEST_F(ClinicalSummaryTest, OlderSetsShowValuesWithoutReferenceOrInterpretation)
{
    EXPECT_FALSE(summary().rows[0].pre.present); // a day without tests

    PatientRecord p;
    ASSERT_TRUE(LoadPatient(db, id, p));
    p.Standard = 0;
    ASSERT_TRUE(SavePatientDemographics(db, id, p));
    storeDay();
    const ClinicalSummary s = summary();
    EXPECT_TRUE(s.rows[1].pre.present);
    EXPECT_FALSE(s.rows[1].pre.reference.available);
    EXPECT_FALSE(s.rows[1].change.available); // no predicted value to relate it to
    EXPECT_FALSE(s.interpretation.has_value());
    EXPECT_TRUE(s.note.contains("GLI"));
}

} // namespace

namespace {

// The trend's z-scores: at each test's own age, in each parameter's place,
// and drawn on the -5..+3 scale with the LLN as the reference line.
TEST_F(ClinicalSummaryTest, TrendZScoresAreTakenAtTheAgeOfEachTest)
{
    PatientRecord patient;
    ASSERT_TRUE(LoadPatient(db, id, patient));
    const QDate days[] = {QDate(2016, 2, 1), QDate(2026, 2, 1)};
    const PulseStream good = blowPulses(true);
    for (int d = 0; d < 2; ++d) {
        const GliSubject at = GliSubjectOf(db, patient, days[d]);
        const GliPrediction fev1 = gli.Predict(GliSet::Gli2012, GliParameter::FEV1, at);
        const GliPrediction fvc = gli.Predict(GliSet::Gli2012, GliParameter::FVC, at);
        // The first day blows the medians, the second the FEV1 of the LLN.
        ManeuverResult r = blowRecord(float(fvc.M), float(d == 0 ? fev1.M : fev1.lln), good);
        StoreSessionBlow(db, id, d + 1, r, good, days[d].toString("yyyy-MM-dd") + " 09:00:00", {});
    }
    const std::vector<TrendTest> tests = LoadTrendTests(db, id, kTestFvc);
    ASSERT_EQ(tests.size(), 2u);
    const TrendSeries fev1 = MakeTrendSeries(tests, kTrendFev1, true);
    ASSERT_EQ(fev1.points.size(), 2u);
    EXPECT_NEAR(fev1.points[0].measured, 0.0, 1e-5);
    EXPECT_NEAR(fev1.points[1].measured, kLlnZ, 1e-5);
    EXPECT_NEAR(MakeTrendSeries(tests, kTrendFvc, true).points[1].measured, 0.0, 1e-5);
    EXPECT_FALSE(HasTrendZScores(tests, kTrendPef)); // no GLI equation for PEF

    const TrendChart chart = BuildTrendChart(fev1, QRectF(0, 0, 600, 400));
    EXPECT_LE(chart.yMin, -5.0);
    EXPECT_GE(chart.yMax, 3.0);
    EXPECT_EQ(chart.marks.size(), 2u);        // a negative z is drawn, not dropped
    EXPECT_FALSE(chart.reference.isEmpty());  // the LLN line

    patient.Standard = 1; // an older set: no z-scores at all
    ASSERT_TRUE(SavePatientDemographics(db, id, patient));
    EXPECT_FALSE(HasTrendZScores(LoadTrendTests(db, id, kTestFvc), kTrendFev1));
}

} // namespace
