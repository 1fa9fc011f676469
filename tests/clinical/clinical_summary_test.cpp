// The day's summary: which sessions it compares, the z-scores and changes it
// shows, the interpretation only for GLI sets, and the z-score bar scale.
#include "session_files.h"
#include "support/temp_home.h"

#include "core/records/database.h"
#include "core/records/schema_upgrade.h"
#include "core/report/clinical_summary.h"

#include <gtest/gtest.h>

namespace {

TEST(ZBarTest, ScaleFromMinusFiveToPlusThree)
{
    EXPECT_DOUBLE_EQ(ZBarPosition(-5, 800), 0);
    EXPECT_DOUBLE_EQ(ZBarPosition(3, 800), 800);
    EXPECT_DOUBLE_EQ(ZBarPosition(0, 800), 500);
    EXPECT_DOUBLE_EQ(ZBarPosition(-1.645, 800), 335.5);
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
        const PulseStream good = blowPulses(true);
        for (int i = 0; i < 3; ++i) {
            StoreSessionBlow(db, 1, 1 + i, blowRecord(3.0f + 0.05f * i, 2.0f + 0.02f * i, good), good,
                             QString("2026-05-05 08:0%1:00").arg(i), {1, i + 1, kPhasePre});
            StoreSessionBlow(db, 1, 4 + i, blowRecord(3.1f + 0.05f * i, 2.5f + 0.02f * i, good), good,
                             QString("2026-05-05 08:4%1:00").arg(i), {4, i + 1, kPhasePost});
        }
    }
    TempHome home;
    Database db;
    GliEquations gli;
    GliSubject person{false, 60.5, 162, kEthnicCaucasian};
};

TEST_F(ClinicalSummaryTest, PreAndPostWithChangesAndInterpretation)
{
    const auto sessions = LoadDaySessions(db, 1, "2026-05-05", person.ageYears);
    const ClinicalSummary s = BuildClinicalSummary(sessions, GliSet::Gli2012, person, gli);
    EXPECT_TRUE(s.hasPost);
    const SummaryRow& fev1 = s.rows[0];
    EXPECT_NEAR(fev1.pre.value, 2.04, 1e-6);
    EXPECT_NEAR(fev1.post.value, 2.54, 1e-6);
    EXPECT_EQ(fev1.pre.grade, 'A');
    const GliPrediction p = gli.Predict(GliSet::Gli2012, GliParameter::FEV1, person);
    EXPECT_NEAR(fev1.pre.reference.z, p.zScore(fev1.pre.value), 1e-12);
    EXPECT_NEAR(fev1.change.litres, 0.50, 1e-6);
    EXPECT_NEAR(fev1.change.percentPredicted, 100 * 0.50 / p.M, 1e-4);
    EXPECT_TRUE(fev1.change.significant);
    EXPECT_NEAR(s.rows[2].pre.value, 2.04 / 3.10, 1e-6); // FEV1 and FVC of different blows
    ASSERT_TRUE(s.interpretation.has_value());
    EXPECT_NEAR(s.interpretation->fev1.value, fev1.pre.value, 1e-12); // pre values interpreted
    ASSERT_TRUE(s.interpretation->bdr.has_value());
    EXPECT_TRUE(s.note.isEmpty());
}

TEST_F(ClinicalSummaryTest, OlderSetsShowValuesWithoutReferenceOrInterpretation)
{
    const auto sessions = LoadDaySessions(db, 1, "2026-05-05", person.ageYears);
    const ClinicalSummary s = BuildClinicalSummary(sessions, std::nullopt, person, gli);
    EXPECT_TRUE(s.rows[1].pre.present);
    EXPECT_FALSE(s.rows[1].pre.reference.available);
    EXPECT_FALSE(s.rows[1].change.available); // no predicted value to relate it to
    EXPECT_FALSE(s.interpretation.has_value());
    EXPECT_TRUE(s.note.contains("GLI"));

    const ClinicalSummary empty = BuildClinicalSummary({}, GliSet::GliGlobal2022, person, gli);
    EXPECT_FALSE(empty.rows[0].pre.present);
    EXPECT_FALSE(empty.interpretation.has_value());
}

} // namespace
