#include "core/measure/maneuver_check.h"
#include "core/measure/maneuver_quality.h"
#include "core/measure/stored_record_check.h"

#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

ManeuverResult fvc(float fvcValue, float fev1, float pef = 8.0f) {
    ManeuverResult r;
    r.FVC = fvcValue;
    r.FEV1 = fev1;
    r.PEF = pef;
    return r;
}

} // namespace

// Every ratio and the lung age of a man: the golden streams' records.
TEST(DeriveManeuver, LungAgeOfAWoman) {
    ManeuverResult r;
    r.FVC = 4.0f;
    r.FEV1 = 3.0f;
    DeriveManeuver(r, 170, kGenderFemale);
    EXPECT_EQ(r.ELA, 40); // 238.268 - 120 - 77.28 = 40.99
}

TEST(DeriveManeuver, ZeroDenominatorsAndMissingFirstSecondOfInspiration) {
    ManeuverResult r;
    r.FIVC = 0.8f; // an inspiration shorter than 1 s reports no FIV1
    DeriveManeuver(r, 160, kGenderMale);
    EXPECT_EQ(r.FEV1_FVC, 0.0f);
    EXPECT_EQ(r.FEV3_FVC, 0.0f);
    EXPECT_EQ(r.FEV1_FEV6, 0.0f);
    EXPECT_FLOAT_EQ(r.FIV1, 0.8f);
    EXPECT_FLOAT_EQ(r.FIV1_FIVC, 100.0f);

    ManeuverResult empty;
    DeriveManeuver(empty, 160, kGenderMale);
    EXPECT_EQ(empty.FIV1_FIVC, 0.0f);
    EXPECT_EQ(empty.FEV1_VC, 0.0f);
}

TEST(Acceptance, StartToleranceIsFivePercentOrAtLeast150Millilitres) {
    TestFileHeader header;
    ManeuverResult r = fvc(2.0f, 1.6f);
    r.EVOL = 160;
    r.Duration = 6;
    AcceptanceFlags flags;
    Acceptance(r, header, flags, nullptr, 0);
    EXPECT_EQ(flags.flag[0], 0);

    r.FVC = 4.0f; // tolerance 200 mL
    AcceptanceFlags passed;
    passed.flag[0] = 0; // left over from an earlier grading
    Acceptance(r, header, passed, nullptr, 0);
    EXPECT_EQ(passed.flag[0], 1);
    for (int i = 2; i < 8; ++i)
        EXPECT_EQ(passed.flag[i], 1);
}

TEST(Acceptance, EndNeedsAPlateauOfOneSecondOrSixSeconds) {
    TestFileHeader header;
    header.expCoefficient = 145; // two steps of 145000 stay below 300000
    ManeuverResult r = fvc(3.0f, 2.5f);
    r.Duration = 3;
    PulseStream samples;
    for (std::uint32_t t = 0; t < 200000; t += 2000)
        samples.push_back({t, 1});
    samples.push_back({samples.back().time + 120000, 1}); // last pulse 1.2 s after the one before
    r.ExpCount = int(samples.size());
    samples.push_back({samples.back().time + 500, 0}); // inspiration follows
    r.InspCount = 1;

    AcceptanceFlags flags;
    flags.flag[1] = 7;
    Acceptance(r, header, flags, samples.data(), int(samples.size()));
    EXPECT_EQ(flags.flag[1], 1);

    samples[r.ExpCount - 1].time = samples[r.ExpCount - 2].time + 50000; // only 0.5 s
    Acceptance(r, header, flags, samples.data(), int(samples.size()));
    EXPECT_EQ(flags.flag[1], 0);

    header.expCoefficient = 90; // three samples are looked at now, all within 1 s
    Acceptance(r, header, flags, samples.data(), int(samples.size()));
    EXPECT_EQ(flags.flag[1], 0);

    r.Duration = 6;
    Acceptance(r, header, flags, samples.data(), int(samples.size()));
    EXPECT_EQ(flags.flag[1], 1);

    r.Duration = 2;
    Acceptance(r, header, flags, samples.data(), 0); // no samples at all
    EXPECT_EQ(flags.flag[1], 0);
}

TEST(ComputeMvv, ExpiredVolumeOfTheLeadingBreathsPerMinute) {
    ManeuverList list(4);
    list[0].FVC = 1.0f, list[0].FIVC = 1.1f;
    list[1].FVC = 1.2f, list[1].FIVC = 0.9f;
    list[2].FVC = 1.0f, list[2].FIVC = 0.0f; // ends the run
    list[3].FVC = 5.0f, list[3].FIVC = 5.0f;
    ComputeMvv(list, 0, 3, 12.0);
    // Only what was breathed out counts: 2.2 L in 12 s.
    EXPECT_FLOAT_EQ(list[0].MVV, 2.2f * 60 / 12);
    EXPECT_EQ(list[1].MVV, 0.0f);
}

TEST(CheckFvcManeuver, EqualVolumesRoundingAboveAHundredPercentStayUsable) {
    // A blow shorter than 3 s followed by a breath in shorter than 1 s: FEV3
    // equals FVC and FIV1 equals FIVC, and float division may give 100.00001.
    ManeuverResult r{};
    r.FVC = r.FEV3 = r.FEV6 = 3.365070f;
    r.FEV1 = 2.988706f;
    r.PEF = 6.59f;
    r.FET = 1.62f;
    r.FIVC = r.FIV1 = 3.073177f;
    r.PIF = 5.7f;
    r.FEV1_FVC = r.FEV1_FEV6 = 88.8f;
    r.FEV3_FVC = std::nextafter(100.0f, 200.0f);
    r.FIV1_FIVC = std::nextafter(100.0f, 200.0f);
    ManeuverStatus status;
    status.complete = 1;
    EXPECT_EQ(CheckFvcManeuver(r, status), ManeuverFault::kUsable);
    // A ratio that is really above 100 % is still refused.
    r.FEV3_FVC = 101.0f;
    EXPECT_EQ(CheckFvcManeuver(r, status), ManeuverFault::kImplausible);
}

TEST(StoredRecordFault, ARecordNoLungCanBlowIsNamedByItsFirstImpossibleValue)
{
    ManeuverResult r;
    r.FVC = 4.0f;
    r.FEV1 = 4.05f; // rounding may put FEV1 a little over FVC
    r.PEF = 9.0f;
    r.FEV1_FVC = 101.0f;
    EXPECT_TRUE(StoredRecordFault(r, kTestFvc).isEmpty());
    r.FEV1 = 4.2f; // no longer rounding
    EXPECT_TRUE(StoredRecordFault(r, kTestFvc).startsWith("FEV1"));
    r.FEV1 = 3.0f;
    r.FVC = 0.05f; // below any blow
    EXPECT_TRUE(StoredRecordFault(r, kTestFvc).startsWith("FVC"));
    r.FVC = 4.0f;
    r.PEF = 25.0f;
    EXPECT_TRUE(StoredRecordFault(r, kTestFvc).startsWith("PEF"));
    r.PEF = 9.0f;
    r.TV = std::numeric_limits<float>::infinity(); // a field no FVC row shows still damages the record
    EXPECT_TRUE(StoredRecordFault(r, kTestFvc).startsWith("TV"));

    // Each type is held to its own values: an FVC record has no VC or MVV of its own.
    ManeuverResult vc;
    vc.VC = 4.2f;
    vc.TV = 0.6f;
    EXPECT_TRUE(StoredRecordFault(vc, kTestVc).isEmpty());
    EXPECT_FALSE(StoredRecordFault(vc, kTestFvc).isEmpty());
    vc.RR = 400;
    EXPECT_TRUE(StoredRecordFault(vc, kTestVc).startsWith("RR"));
    ManeuverResult mvv;
    mvv.MVV = 120;
    EXPECT_TRUE(StoredRecordFault(mvv, kTestMvv).isEmpty());
    mvv.MVV = 0.2f; // a damaged time stamp's "MVV"
    EXPECT_FALSE(StoredRecordFault(mvv, kTestMvv).isEmpty());
}
