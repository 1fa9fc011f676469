#include "core/report/result_tables.h"

#include "report_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

ManeuverResult fvc(float fvcValue, float fev1, float pef, float fef25)
{
    ManeuverResult r;
    r.FVC = fvcValue;
    r.FEV1 = fev1;
    r.PEF = pef;
    r.FEF25 = fef25;
    r.FEF50 = fef25 / 2;
    r.FEV1_FVC = fev1 / fvcValue * 100;
    r.ELA = 51;
    r.EVOL = 140;
    return r;
}

ManeuverResult fullPrediction()
{
    ManeuverResult p;
    p.FVC = 4.0f;
    p.FEV1 = 3.2f;
    p.FEV1_VC = 78.0f;
    p.FEV1_FVC = 80.0f;
    p.FEF2575 = 3.5f;
    p.PEF = 7.6f;
    p.FEF25 = 6.0f;
    p.ELA = 49;
    return p;
}

const ResultRow& row(const ResultsList& list, const QString& name)
{
    for (const ResultRow& r : list.rows)
        if (r.name == name)
            return r;
    static const ResultRow none;
    ADD_FAILURE() << "no row " << name.toStdString();
    return none;
}

} // namespace

TEST(FvcBest, LargestFvcAndLargestFev1FromDifferentTestsWithTheOtherValuesFromTheLargestSum)
{
    // Test 1 has the largest FVC, test 2 the largest FEV1 and the larger FVC+FEV1.
    const ManeuverList tests = {fvc(4.80f, 3.50f, 8.0f, 6.1f), fvc(4.60f, 3.90f, 9.5f, 7.2f)};
    const FvcBest best = ComputeFvcBest(tests);
    ASSERT_TRUE(best.valid);
    EXPECT_EQ(best.maxFvcIndex, 0);
    EXPECT_EQ(best.maxFev1Index, 1);
    EXPECT_EQ(best.bestIndex, 1);
    EXPECT_FLOAT_EQ(best.record.FVC, 4.80f);
    EXPECT_FLOAT_EQ(best.record.FEV1, 3.90f);
    EXPECT_NEAR(best.record.FEV1_FVC, 3.90 / 4.80 * 100, 1e-4);
    EXPECT_FLOAT_EQ(best.record.PEF, 9.5f); // from the larger FVC+FEV1
    EXPECT_FLOAT_EQ(best.record.FEF25, 7.2f);
    EXPECT_FLOAT_EQ(best.record.FEF50, 3.6f);

    const ResultsList list = MakeResultsList(kTestFvc, tests, fullPrediction());
    EXPECT_EQ(row(list, "FVC").best, "4.80");
    EXPECT_EQ(row(list, "FEV1").best, "3.90");
    EXPECT_EQ(row(list, "FEV1/FVC").best, "81.25");
    EXPECT_EQ(row(list, "PEF").best, "9.50");
    EXPECT_EQ(row(list, "FEF25").best, "7.20");
    EXPECT_EQ(row(list, "FVC").tests, QStringList({"4.80", "4.60"}));

    const BestValueBox box = MakeBestValueBox(best, fullPrediction());
    EXPECT_EQ(box.values, (std::array<QString, 4>{"4.80", "3.90", "9.50", "81.25"}));
    // FEV1/FVC is a ratio: shown against its predicted ratio, never as a percentage of it.
    EXPECT_EQ(box.percents, (std::array<QString, 4>{"120%", "122%", "125%", ""}));

    EXPECT_FALSE(ComputeFvcBest({}).valid); // a day without tests keeps its tables empty
    EXPECT_TRUE(MakeResultsList(kTestFvc, {}, fullPrediction()).rows.empty());
}

TEST(FvcBest, TiesGoToTheEarlierTestAtTheRowsTwoDecimals)
{
    // 4.801 and 4.799 are both 4.80 in their rows: the first test keeps the lead.
    const ManeuverList tests = {fvc(4.799f, 3.601f, 8, 6), fvc(4.801f, 3.599f, 9, 7)};
    const FvcBest best = ComputeFvcBest(tests);
    EXPECT_EQ(best.maxFvcIndex, 0);
    EXPECT_EQ(best.maxFev1Index, 0);
    EXPECT_EQ(best.bestIndex, 0);
}

TEST(BestValueBox, PercentagesOnlyWhenEveryPredictedValueIsThere)
{
    const FvcBest best = ComputeFvcBest({fvc(4.0f, 3.0f, 8.0f, 6.0f)});
    for (float ManeuverResult::*field :
         {&ManeuverResult::FVC, &ManeuverResult::FEV1, &ManeuverResult::FEV1_VC,
          &ManeuverResult::FEF2575, &ManeuverResult::PEF}) {
        ManeuverResult predicted = fullPrediction();
        predicted.*field = 0;
        const BestValueBox box = MakeBestValueBox(best, predicted);
        EXPECT_EQ(box.values[0], "4.00");
        EXPECT_EQ(box.values[3], "75.00");
        for (const QString& percent : box.percents)
            EXPECT_TRUE(percent.isEmpty());
    }
    EXPECT_EQ(MakeBestValueBox(best, fullPrediction()).percents[0], "100%");
}

TEST(ResultsList, OneTestGivesABestColumnEqualToItsOwnColumn)
{
    ManeuverResult only = fvc(3.75f, 2.95f, 7.25f, 5.5f);
    only.FET = 6.25f;
    only.MVV = 103.25f;
    const ResultsList list = MakeResultsList(kTestFvc, {only}, fullPrediction());
    ASSERT_EQ(list.rows.size(), 19u);
    EXPECT_EQ(list.headers.size(), 7);
    EXPECT_EQ(list.headers.first(), "");
    EXPECT_EQ(list.headers.last(), "#1");
    EXPECT_EQ(list.firstTestColumn, 6);
    for (const ResultRow& r : list.rows) {
        ASSERT_EQ(r.tests.size(), 1) << r.name.toStdString();
        EXPECT_EQ(r.best, r.tests[0]) << r.name.toStdString();
    }
    // Whole numbers for the lung age and the back-extrapolated volume.
    EXPECT_EQ(row(list, "ELA").best, "51");
    EXPECT_EQ(row(list, "EVOL").best, "140");
    EXPECT_EQ(row(list, "EVOL").unit, " ml");
    EXPECT_EQ(row(list, "ELA").predicted, "49"); // ELA has a predicted value, no percentage
    EXPECT_TRUE(row(list, "ELA").percent.isEmpty());
    EXPECT_TRUE(row(list, "EVOL").predicted.isEmpty());
    EXPECT_EQ(row(list, "PEF").unit, " L/S");
    EXPECT_EQ(row(list, "FVC").percent, "94%");
    // A predicted value of zero gives no percentage rather than "inf%".
    EXPECT_TRUE(row(list, "FIVC").percent.isEmpty());
}

TEST(ResultsList, VcAndMvvRowsAndColumns)
{
    ManeuverResult a, b;
    a.VC = 3.9f;
    a.IC = 2.5f;
    a.MV = 8.4f;
    a.RR = 14.0f;
    a.tI_ttot = 0.41f;
    b.VC = 4.2f;
    b.IC = 2.7f;
    b.MV = 9.0f;
    ManeuverResult predicted;
    predicted.VC = 4.0f;
    predicted.IC = 2.0f;
    predicted.TV = 0.5f; // given, but the list shows no predicted TV
    const ResultsList vc = MakeResultsList(kTestVc, {a, b}, predicted);
    ASSERT_EQ(vc.rows.size(), 13u);
    EXPECT_EQ(vc.headers.size(), 7); // no best column
    EXPECT_EQ(vc.headers.mid(5), QStringList({"#1", "#2"}));
    EXPECT_EQ(row(vc, "VC").percent, "105%"); // of the larger VC
    EXPECT_EQ(row(vc, "IC").percent, "135%");
    EXPECT_EQ(row(vc, "VE").tests, QStringList({"8.40", "9.00"}));
    EXPECT_EQ(row(vc, "VE").unit, " L/min");
    EXPECT_EQ(row(vc, "RR").unit, " Times/min");
    EXPECT_TRUE(row(vc, "TV").predicted.isEmpty());
    EXPECT_TRUE(row(vc, "tI/ttot").unit.isEmpty());
    for (const char* name : {"VC", "IC", "ERV", "EVC", "IVC"})
        EXPECT_FALSE(row(vc, name).predicted.isEmpty()) << name;

    ManeuverResult m1, m2;
    m1.MVV = 120.5f;
    m2.MVV = 98.0f;
    predicted.MVV = 100.0f;
    const ResultsList mvv = MakeResultsList(kTestMvv, {m1, m2}, predicted);
    ASSERT_EQ(mvv.rows.size(), 1u);
    EXPECT_EQ(mvv.rows[0].unit, "L/min");
    EXPECT_EQ(mvv.rows[0].predicted, "100.00");
    EXPECT_EQ(mvv.rows[0].percent, "121%");

    EXPECT_EQ(BestTestIndex(kTestVc, {a, b}), 1);
    EXPECT_EQ(BestTestIndex(kTestMvv, {m1, m2}), 0);
    EXPECT_EQ(BestTestIndex(kTestFvc, {}), -1);
}

// Predicted values as the equations fill them: IRV is ERV's value, PIF is PEF's, FET and
// RR are fixed numbers, and the inspiratory values copy the expiratory ones.
ManeuverResult equationPrediction()
{
    ManeuverResult p = fullPrediction();
    p.FEV6 = p.FIVC = p.VC = p.EVC = p.IVC = p.FVC;
    p.FIV1 = p.FEV1;
    p.FIV1_FIVC = p.FEV1_VC = p.FEV1_FVC;
    p.FEV1_FEV6 = 80.0f;
    p.PIF = p.PEF;
    p.ERV = 1.2f;
    p.IRV = p.ERV;
    p.IC = p.FVC - p.ERV;
    p.FET = 6.0f;
    p.RR = 15.0f;
    p.MVV = 110.0f;
    p.FEF50 = 4.5f;
    p.FEF75 = 2.0f;
    return p;
}

TEST(PercentOfPredicted, OnlyWhereThatVeryParameterHasAReference)
{
    ManeuverResult test = fvc(4.2f, 3.3f, 8.0f, 6.4f);
    test.IRV = 4.05f; // against ERV's 1.2 L this once read "337%"
    test.ERV = 1.1f;
    test.IC = 2.9f;
    test.VC = 4.3f;
    test.PIF = 3.0f;
    test.FET = 7.5f;
    test.RR = 14.0f;
    test.FIVC = 4.0f;
    test.FIV1 = 3.5f;
    test.FIV1_FIVC = 87.5f;
    test.FEV1_VC = 76.7f;
    test.FEV6 = 4.1f;
    test.FEV1_FEV6 = 80.5f;
    test.MVV = 120.0f;
    const ManeuverResult predicted = equationPrediction();
    const std::vector<QString> without = {"IRV",     "PIF",      "FET",       "RR",
                                          "FEV1/FVC", "FEV1/VC", "FEV1/FEV6", "FIV1/FIVC",
                                          "FIVC",    "FIV1",     "ELA",       "EVOL"};
    const std::vector<QString> with = {"FVC", "FEV1", "PEF", "FEF25", "FEF2575", "FEF50",
                                       "FEF75", "FEV6", "MVV", "VC", "IC", "ERV", "EVC", "IVC"};
    // Every table that shows a percentage: the results page and each printed table (the
    // preview, the printer and the PDF all draw these).
    std::vector<std::pair<QString, QString>> cells; // parameter, percentage
    for (int type : {kTestFvc, kTestVc, kTestMvv})
        for (const ResultRow& r : MakeResultsList(type, {test}, predicted).rows)
            cells.emplace_back(r.name, r.percent);
    const FvcBest best = ComputeFvcBest({test});
    for (const ReportTable& table :
         {FvcBestTable(best, predicted), FvcBestLoopTable(best, predicted),
          VcReportTable(test, 0, predicted), MvvReportTable(test, 0, predicted)})
        for (const QStringList& r : table.rows)
            cells.emplace_back(r[0] == "TI" ? "tI" : r[0], r[4]);
    int checked = 0;
    for (const auto& [name, percent] : cells) {
        if (std::find(without.begin(), without.end(), name) != without.end()) {
            EXPECT_TRUE(percent.isEmpty()) << name.toStdString() << " " << percent.toStdString();
            ++checked;
        } else if (std::find(with.begin(), with.end(), name) != with.end()) {
            EXPECT_FALSE(percent.isEmpty()) << name.toStdString();
            ++checked;
        }
    }
    EXPECT_GT(checked, 30);
    // A value copied from another parameter, or a fixed number, is no predicted value either.
    const ResultsList list = MakeResultsList(kTestVc, {test}, predicted);
    EXPECT_TRUE(row(list, "IRV").predicted.isEmpty());
    EXPECT_TRUE(row(list, "RR").predicted.isEmpty());
    EXPECT_EQ(row(list, "ERV").predicted, "1.20");
    const ResultsList fvcList = MakeResultsList(kTestFvc, {test}, predicted);
    EXPECT_TRUE(row(fvcList, "PIF").predicted.isEmpty());
    EXPECT_TRUE(row(fvcList, "FET").predicted.isEmpty());
    EXPECT_EQ(row(fvcList, "FEV1/FVC").predicted, "80.00"); // the ratio's own equation
    EXPECT_EQ(row(fvcList, "PEF").percent, "105%");
}

TEST(ReportTables, PrintedFvcTablesTakeTheBestLoop)
{
    const ManeuverList tests = {fvc(4.80f, 3.50f, 8.0f, 6.1f), fvc(4.60f, 3.90f, 9.5f, 7.2f),
                                fvc(4.10f, 3.20f, 7.0f, 5.0f)};
    const FvcBest best = ComputeFvcBest(tests);
    const ReportTable all = FvcBestTable(best, fullPrediction());
    EXPECT_EQ(all.title, "Best value from all loops");
    ASSERT_EQ(all.rows.size(), 4u);
    EXPECT_EQ(all.rows[0], QStringList({"FVC", "L", "4.00", "4.80", "120%"}));
    EXPECT_EQ(all.rows[3][3], "9.50");

    const ReportTable loop = FvcBestLoopTable(best, fullPrediction());
    EXPECT_EQ(loop.title, "Values from best loop");
    EXPECT_EQ(loop.headers[3], "#Best2");
    ASSERT_EQ(loop.rows.size(), 16u);
    EXPECT_EQ(loop.rows[5][0], "ELA");
    EXPECT_EQ(loop.rows[5][1], "Year");
    EXPECT_EQ(loop.rows[7], QStringList({"FEF25", "L/S", "6.00", "7.20", "120%"}));
    EXPECT_EQ(loop.rows[10][1], "ML");

    ManeuverResult m;
    m.MVV = 88.0f;
    const ReportTable mvv = MvvReportTable(m, 0, ManeuverResult());
    EXPECT_EQ(mvv.title, "MVV Test");
    EXPECT_EQ(mvv.rows[0], QStringList({"MVV", "L/min", "0.00", "88.00", ""}));
}
