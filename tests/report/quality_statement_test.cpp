// The quality of a day in words: what holds is said as well as what does not,
// for the shown test and for the day, and the live word on each blow.
#include "core/app/lang_text.h"
#include "core/report/quality_statement.h"

#include <gtest/gtest.h>

namespace {

DayTest fvcTest(float fvc, float fev1, float pef, bool goodStart = true, bool goodEnd = true)
{
    DayTest test;
    test.dataName = "1.dt";
    test.file.record.FVC = fvc;
    test.file.record.FEV1 = fev1;
    test.file.record.PEF = pef;
    test.file.acceptance.flag[0] = goodStart ? 1 : 0;
    test.file.acceptance.flag[1] = goodEnd ? 1 : 0;
    return test;
}

QString text(int id)
{
    return GetLangText("CASE", id);
}

} // namespace

TEST(QualityStatement, AGoodTestAndARepeatableDaySayWhatHolds)
{
    // Three tests close together on every value.
    const DayTestList day = {fvcTest(4.00f, 3.20f, 8.0f), fvcTest(4.05f, 3.25f, 8.1f),
                             fvcTest(3.98f, 3.18f, 7.9f)};
    const QualityStatement q = DayQualityStatement(kTestFvc, day, 1);
    EXPECT_EQ(q.test, text(2313) + text(2314)); // never an empty report for a good test
    EXPECT_TRUE(q.day.startsWith(text(2315).arg(3)));
    for (int id : {1274, 1275, 1276})
        EXPECT_TRUE(q.day.contains(text(id))) << id;
    EXPECT_FALSE(q.day.contains(text(1273)));
}

TEST(QualityStatement, WhatDoesNotHoldIsNamedValueByValue)
{
    // FVC repeatable, FEV1 one litre apart, PEF far apart.
    const DayTestList day = {fvcTest(4.00f, 3.20f, 8.0f), fvcTest(4.02f, 2.20f, 5.0f),
                             fvcTest(3.10f, 1.90f, 4.0f, false, false)};
    const QualityStatement q = DayQualityStatement(kTestFvc, day, 2);
    EXPECT_TRUE(q.day.contains(text(1274)));
    EXPECT_TRUE(q.day.contains(text(2311)));
    EXPECT_TRUE(q.day.contains(text(2312)));
    EXPECT_FALSE(q.day.contains(text(1275)));
    // The shown test started hesitantly and ended early: the instructions say so.
    EXPECT_EQ(q.test, text(1270) + text(1271));

    // One good and one poor flag: each named on its own.
    const QualityStatement mixed =
        DayQualityStatement(kTestFvc, {fvcTest(4.0f, 3.2f, 8.0f, true, false)}, 0);
    EXPECT_EQ(mixed.test, text(2313) + text(1271));
}

TEST(QualityStatement, FewTestsAskForMoreAndOtherTypesGiveTheirCount)
{
    const QualityStatement two =
        DayQualityStatement(kTestFvc, {fvcTest(4.0f, 3.2f, 8.0f), fvcTest(4.0f, 3.2f, 8.0f)}, 0);
    EXPECT_EQ(two.day, text(2315).arg(2) + text(1273));

    DayTest vc;
    vc.file.record.VC = 4.1f;
    const QualityStatement q = DayQualityStatement(kTestVc, {vc, vc, vc}, 0);
    EXPECT_EQ(q.day, text(2315).arg(3)); // no FVC repeatability words for a VC day
    EXPECT_EQ(q.test, text(2319));

    EXPECT_TRUE(DayQualityStatement(kTestFvc, {}, 0).day.isEmpty());
    // A shown index outside the day: the day is still described, the test is not.
    const QualityStatement outside = DayQualityStatement(kTestFvc, {fvcTest(4, 3, 8)}, 5);
    EXPECT_FALSE(outside.day.isEmpty());
    EXPECT_TRUE(outside.test.isEmpty());
}

TEST(QualityStatement, BlowVerdictJudgesTheStartAndALongEnough)
{
    auto live = [](int id) { return GetLangText("FVCTestingDlg", id); };
    ManeuverResult blow;
    blow.FVC = 4.0f; // start tolerance: 5 % of 4 L is 200 ml
    blow.FEV1 = 3.2f;
    blow.EVOL = 180;
    blow.Duration = 6;
    QString verdict = BlowVerdict(2, blow);
    EXPECT_TRUE(verdict.startsWith(live(2321).arg(2).arg("4.00").arg("3.20")));
    EXPECT_TRUE(verdict.contains(live(2322)));
    EXPECT_TRUE(verdict.contains(live(2324)));

    blow.EVOL = 230;
    blow.Duration = 4;
    verdict = BlowVerdict(3, blow);
    EXPECT_TRUE(verdict.contains(live(2323)));
    EXPECT_FALSE(verdict.contains(live(2324)));

    // A small FVC: the 150 ml floor holds.
    blow.FVC = 1.5f;
    blow.EVOL = 140;
    EXPECT_TRUE(BlowVerdict(1, blow).contains(live(2322)));
}
