#include "vc_test_stream.h"

#include "core/measure/vc_analysis.h"

#include <gtest/gtest.h>

namespace {

VcTestStream tidal(int count, const Breath& breath = {0.5f, 0.5f}) {
    VcTestStream test;
    for (int i = 0; i < count; ++i)
        test.add(breath);
    return test;
}

} // namespace

TEST(BreathTimes, PhasesRunFromTheEndOfThePhaseBefore) {
    VcTestStream test;
    test.add({0.5f, 0.5f, 1.5, 1.0});
    test.add({0.6f, 0.4f, 2.0, 1.2});
    const BreathTimes first = BreathTimesOf(test.list, test.stream, 0);
    EXPECT_NEAR(first.expiration, 1.5 * 4 / 5, 1e-5); // from its own first pulse
    EXPECT_NEAR(first.inspiration, 1.0, 1e-5);
    const BreathTimes second = BreathTimesOf(test.list, test.stream, 1);
    EXPECT_NEAR(second.expiration, 2.0, 1e-5);
    EXPECT_NEAR(second.inspiration, 1.2, 1e-5);
    EXPECT_EQ(BreathTimesOf(test.list, test.stream, 2).expiration, 0.0);
    test.list[1].InspCount = 99; // counts beyond the stream give nothing
    EXPECT_EQ(BreathTimesOf(test.list, test.stream, 1).expiration, 0.0);
}

TEST(TidalStability, FourSteadyBreathsInARow) {
    TidalIndices indices{-1, -1, -1, -1};
    VcTestStream three = tidal(3);
    EXPECT_EQ(TidalStability(three.list, three.stream, indices), 0);

    VcTestStream four = tidal(4);
    EXPECT_EQ(TidalStability(four.list, four.stream, indices), 1);
    EXPECT_EQ(indices, (TidalIndices{0, 1, 2, 3}));
}

TEST(TidalStability, ARejectedBreathBecomesTheReferenceWithoutCounting) {
    VcTestStream test;
    test.add({0.5f, 0.5f});
    test.add({1.5f, 1.5f}); // three times the mean: rejected, now the reference
    test.add({0.5f, 0.5f}); // a third of the reference: rejected, the new reference
    for (int i = 0; i < 4; ++i)
        test.add({0.55f, 0.5f});
    TidalIndices indices{-1, -1, -1, -1};
    EXPECT_EQ(TidalStability(test.list, test.stream, indices), 1);
    EXPECT_EQ(indices, (TidalIndices{3, 4, 5, 6}));

    // A breath twice as long as the others breaks the run as well.
    VcTestStream slow = tidal(2);
    slow.add({0.5f, 0.5f, 4.0, 2.0});
    slow.add({0.5f, 0.5f});
    EXPECT_EQ(TidalStability(slow.list, slow.stream, indices), 0);
}

TEST(VcAnalysis, DeepExpirationThenDeepInspiration) {
    VcTestStream test = tidal(4); // TV 0.5 L, tE 1.5 s, tI 1.0 s
    test.add({0.5f, 0.5f});
    test.add({1.7f, 3.7f, 4.0, 3.0}); // ERV 1.2, then up to the top: IRV 2.0
    test.add({0.5f, 0.5f});
    TidalIndices indices{0, 1, 2, 3};
    int found = 1;
    std::vector<TidalSummary> summaries;
    ASSERT_EQ(VcAnalysis(test.list, test.stream, indices, found, summaries), 1);
    const ManeuverResult& r = test.list[0];
    EXPECT_NEAR(r.TV, 0.5, 1e-6);
    EXPECT_NEAR(r.ERV, 1.2, 1e-6);
    EXPECT_NEAR(r.IRV, 2.0, 1e-6);
    EXPECT_NEAR(r.VC, 3.7, 1e-6);
    EXPECT_NEAR(r.IC, 2.5, 1e-6);
    EXPECT_EQ(r.EVC, r.VC);
    EXPECT_EQ(r.IVC, r.VC);
    // Mean times of the four tidal breaths; the first one's expiration is
    // counted from its own first pulse.
    const double tE = (1.5 * 4 / 5 + 3 * 1.5) / 4;
    EXPECT_NEAR(r.tE, tE, 1e-5);
    EXPECT_NEAR(r.tI, 1.0, 1e-5);
    EXPECT_NEAR(r.ttot, tE + 1.0, 1e-5);
    EXPECT_NEAR(r.RR, 60 / (tE + 1.0), 1e-4);
    EXPECT_NEAR(r.MV, r.RR * 0.5, 1e-4);
    EXPECT_NEAR(r.TV_tI, 0.5, 1e-5);
    EXPECT_NEAR(r.tI_ttot, 1.0 / (tE + 1.0), 1e-5);
    EXPECT_EQ(found, 1);

    ASSERT_EQ(summaries.size(), 1u);
    const TidalSummary& s = summaries[0];
    EXPECT_EQ(s.firstTidalBreath, 0);
    EXPECT_EQ(s.tidalStartSample, 0);
    EXPECT_EQ(s.tidalEndSample, 4 * 10);
    EXPECT_EQ(s.deepExpBreath, 5);
    EXPECT_EQ(s.deepExpStartSample, 50);
    EXPECT_EQ(s.deepExpEndSample, 55);
    EXPECT_EQ(s.deepInspBreath, 5);
    EXPECT_EQ(s.deepInspStartSample, 55);
    EXPECT_EQ(s.deepInspEndSample, 60);
}

TEST(VcAnalysis, DeepInspirationThenDeepExpiration) {
    VcTestStream test = tidal(4);
    test.add({0.5f, 2.5f, 1.5, 2.0}); // IRV 2.0
    test.add({3.7f, 0.5f, 5.0, 1.0}); // from the top down to the bottom: ERV 1.2
    TidalIndices indices{0, 1, 2, 3};
    int found = 1;
    std::vector<TidalSummary> summaries;
    ASSERT_EQ(VcAnalysis(test.list, test.stream, indices, found, summaries), 1);
    EXPECT_NEAR(test.list[0].IRV, 2.0, 1e-6);
    EXPECT_NEAR(test.list[0].ERV, 1.2, 1e-6);
    EXPECT_NEAR(test.list[0].VC, 3.7, 1e-6);

    // A later deep expiration starts from the tidal level: ERV = expired - TV.
    VcTestStream later = tidal(4);
    later.add({0.5f, 2.5f});
    later.add({0.5f, 0.5f});
    later.add({1.7f, 0.5f});
    summaries.clear();
    ASSERT_EQ(VcAnalysis(later.list, later.stream, indices, found, summaries), 1);
    EXPECT_NEAR(later.list[0].ERV, 1.2, 1e-6);
    EXPECT_NEAR(later.list[0].VC, 3.7, 1e-6);
    EXPECT_EQ(summaries[0].deepInspBreath, 4);
    EXPECT_EQ(summaries[0].deepExpBreath, 6);
}

TEST(VcAnalysis, MoreThanTenMissesOrTooFewBreathsFail) {
    VcTestStream test = tidal(4);
    test.add({1.7f, 0.5f}); // deep expiration, no deep inspiration ever
    for (int i = 0; i < 12; ++i)
        test.add({0.5f, 0.5f});
    test.add({0.5f, 3.0f}); // too late
    TidalIndices indices{0, 1, 2, 3};
    int found = 1;
    std::vector<TidalSummary> summaries;
    test.list[0].TV = 9.0f;
    EXPECT_EQ(VcAnalysis(test.list, test.stream, indices, found, summaries), 0);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(test.list[0].TV, 0.0f);
    EXPECT_TRUE(summaries.empty());

    VcTestStream tidalOnly = tidal(6);
    found = 1;
    EXPECT_EQ(VcAnalysis(tidalOnly.list, tidalOnly.stream, indices, found, summaries), 0);
    EXPECT_EQ(found, 0);

    TidalIndices outside{5, 6, 7, 8};
    found = 1;
    EXPECT_EQ(VcAnalysis(tidalOnly.list, tidalOnly.stream, outside, found, summaries), 0);
}
