// The result tables are views of the day-result model: what each cell shows
// for a phase's values, a withheld phase, a usable-only value, a value nobody
// measured or predicted, and the reference an older set gives.
#include "core/report/result_tables.h"

#include "core/measure/test_store.h"

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

// Predicted values as the older sets' equations fill them: IRV is ERV's value, PIF is
// PEF's, FET and RR are fixed numbers, and the inspiratory values copy the expiratory ones.
ManeuverResult equationPrediction()
{
    ManeuverResult p;
    p.FVC = 4.0f;
    p.FEV1 = 3.2f;
    p.FEV1_FVC = 80.0f;
    p.FEF2575 = 3.5f;
    p.PEF = 7.6f;
    p.FEF25 = 6.0f;
    p.ELA = 49;
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

DayTest dayTest(const char* name, const ManeuverResult& record)
{
    DayTest t;
    t.dataName = name;
    t.file.record = record;
    return t;
}

PhaseValues phase(int which, const ManeuverResult& record, char fev1Grade, char fvcGrade, int flowsTest = 0)
{
    PhaseValues p;
    p.phase = which;
    p.record = record;
    p.flowsTest = flowsTest;
    p.reported.fev1Grade = fev1Grade;
    p.reported.fvcGrade = fvcGrade;
    p.withheld = fev1Grade == 'F' || fvcGrade == 'F';
    return p;
}

// A day on an older set (predicted values, no LLN): one blow per phase.
DayResult twoPhaseDay(const ManeuverResult& pre, const ManeuverResult& post)
{
    DayResult day;
    day.setName = "ERS";
    day.predicted = equationPrediction();
    day.fvc = {dayTest("1.dt", pre), dayTest("2.dt", post)};
    StoredSession s1, s2;
    s1.phase = kPhasePre;
    s1.maneuvers.resize(1);
    s1.maneuvers[0].dataName = "1.dt";
    s2.phase = kPhasePost;
    s2.maneuvers.resize(1);
    s2.maneuvers[0].dataName = "2.dt";
    day.sessions = {s1, s2};
    day.phases = {phase(kPhasePre, pre, 'A', 'A', 0), phase(kPhasePost, post, 'B', 'B', 1)};
    return day;
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

TEST(ResultTables, ABronchodilatorDayShowsEachPhaseSideBySide)
{
    const DayResult day = twoPhaseDay(fvc(3.20f, 1.50f, 5.0f, 2.0f), fvc(3.40f, 2.10f, 6.5f, 3.0f));
    const ResultsList list = MakeResultsList(kTestFvc, day);
    EXPECT_EQ(list.headers.mid(3), QStringList({"Pred", "Pre", "%Pred", "Post", "%Pred", "#1 Pre", "#2 Post"}));
    EXPECT_EQ(list.firstTestColumn, 8);
    EXPECT_EQ(row(list, "FEV1").reported, QStringList({"1.50", "47%", "2.10", "66%"}));
    // A ratio is shown beside its predicted ratio, never as a percentage of it.
    EXPECT_EQ(row(list, "FEV1/FVC").reported, QStringList({"46.88", "", "61.76", ""}));
    EXPECT_EQ(row(list, "ELA").reported[0], "51"); // whole years

    const BestValueBox box = MakeBestValueBox(day);
    ASSERT_EQ(box.columns.size(), 2u);
    EXPECT_EQ(box.columns[0].title, "Pre");
    EXPECT_EQ(box.columns[0].values, (std::array<QString, 4>{"3.20", "1.50", "5.00", "46.88"}));
    EXPECT_EQ(box.columns[1].values, (std::array<QString, 4>{"3.40", "2.10", "6.50", "61.76"}));
    EXPECT_EQ(box.columns[1].percents[3], "");
    EXPECT_TRUE(box.columns[1].note.contains("B"));
    EXPECT_TRUE(box.footnote.isEmpty());

    const ReportTable loop = FvcBestLoopTable(day);
    EXPECT_EQ(loop.headers.mid(3), QStringList({"Pre #1", "%Pred", "Post #2", "%Pred"}));
}

TEST(ResultTables, AWithheldPhaseShowsNoValueAndAUsableOneIsStarred)
{
    DayResult day = twoPhaseDay(fvc(3.61f, 2.93f, 7.0f, 5.0f), fvc(3.70f, 3.00f, 7.2f, 5.1f));
    day.phases[0] = phase(kPhasePre, fvc(3.61f, 2.93f, 7.0f, 5.0f), 'F', 'F');
    day.phases[1].reported.fvcGrade = 'U';
    day.phases[1].usableOnly = true;
    day.phases[1].reported.values.emplace_back("FVC", ReferencedValue{3.70, true, {}, {}});

    const BestValueBox box = MakeBestValueBox(day);
    for (const QString& value : box.columns[0].values)
        EXPECT_EQ(value, kMissingText);
    for (const QString& percent : box.columns[0].percents)
        EXPECT_TRUE(percent.isEmpty());
    EXPECT_TRUE(box.columns[0].note.contains("F"));
    EXPECT_EQ(box.columns[1].values[0], "3.70*");
    EXPECT_FALSE(box.footnote.isEmpty()); // the asterisk is explained

    const ResultsList list = MakeResultsList(kTestFvc, day);
    EXPECT_EQ(row(list, "FVC").reported, QStringList({kMissingText, "", "3.70*", "93%"}));
    // The blows keep their own columns: the day's tests are listed, not reported.
    EXPECT_EQ(row(list, "FVC").tests, QStringList({"3.61", "3.70"}));
}

TEST(ResultTables, MissingIsADashNeverZero)
{
    ManeuverResult blow = fvc(4.0f, 3.2f, 8.0f, 6.0f);
    blow.FEV6 = 0; // the link gave none
    blow.MVV = 0;
    DayResult day = twoPhaseDay(blow, blow);
    day.phases.pop_back();
    day.predicted = ManeuverResult(); // a set with no equation for this person
    const ResultsList list = MakeResultsList(kTestFvc, day);
    EXPECT_EQ(row(list, "FEV6").reported[0], kMissingText);
    EXPECT_EQ(row(list, "FEV6").tests[0], kMissingText);
    EXPECT_EQ(row(list, "MVV").reported[0], kMissingText);
    for (const ResultRow& r : list.rows) {
        EXPECT_EQ(r.predicted, kMissingText) << r.name.toStdString();
        for (const QString& cell : r.reported)
            EXPECT_NE(cell, "0.00") << r.name.toStdString();
    }
    // The printed loop table leaves out rows no phase has a value for.
    const ReportTable loop = FvcBestLoopTable(day);
    for (const QStringList& r : loop.rows)
        EXPECT_NE(r[0], "FEV6");
}

TEST(ResultTables, PercentOnlyWhereThatVeryParameterHasAReference)
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
    test.FEF75 = 2.2f;
    test.EVC = 4.2f;
    test.IVC = 4.1f;
    DayResult day = twoPhaseDay(test, test);
    day.phases.pop_back();
    day.vc = {dayTest("3.dt", test)};
    day.vcResult = {0, test};
    day.mvv = {dayTest("4.dt", test)};
    day.mvvResult = {0, test};
    const std::vector<QString> without = {"IRV", "PIF", "FET", "RR", "FEV1/FVC", "FEV1/VC", "FEV1/FEV6", "FIV1/FIVC",
                                          "FIVC", "FIV1", "ELA", "EVOL"};
    const std::vector<QString> with = {"FVC", "FEV1", "PEF", "FEF25", "FEF50", "FEF75", "FEV6", "MVV",
                                       "VC",  "IC",   "ERV", "EVC",   "IVC"};
    // Every table that shows a percentage: the results page and each printed table.
    std::vector<std::pair<QString, QString>> cells; // parameter, percentage
    for (int type : {kTestFvc, kTestVc, kTestMvv})
        for (const ResultRow& r : MakeResultsList(type, day).rows)
            cells.emplace_back(r.name, r.reported.value(type == kTestFvc ? 1 : 0));
    for (const ReportTable& table : {FvcBestLoopTable(day), VcReportTable(day), MvvReportTable(day)})
        for (const QStringList& r : table.rows)
            cells.emplace_back(r[0], r[4]);
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
    const ResultsList vc = MakeResultsList(kTestVc, day);
    EXPECT_EQ(row(vc, "IRV").predicted, kMissingText);
    EXPECT_EQ(row(vc, "RR").predicted, kMissingText);
    EXPECT_EQ(row(vc, "ERV").predicted, "1.20");
    const ResultsList list = MakeResultsList(kTestFvc, day);
    EXPECT_EQ(row(list, "PIF").predicted, kMissingText);
    EXPECT_EQ(row(list, "FET").predicted, kMissingText);
    EXPECT_EQ(row(list, "FEV1/FVC").predicted, "80.00"); // the ratio's own equation
    EXPECT_EQ(row(list, "PEF").reported[1], "105%");
}

TEST(ResultTables, VcAndMvvTakeTheDaysBestTest)
{
    ManeuverResult a, b;
    a.VC = 3.9f;
    a.IC = 2.5f;
    b.VC = 4.2f;
    b.IC = 2.7f;
    b.MVV = 0;
    DayResult day;
    day.predicted = equationPrediction();
    day.vc = {dayTest("1.dt", a), dayTest("2.dt", b)};
    day.vcResult = {1, b};
    const ResultsList vc = MakeResultsList(kTestVc, day);
    ASSERT_EQ(vc.rows.size(), 13u);
    EXPECT_EQ(vc.headers.mid(4), QStringList({"%Pred", "#1", "#2"}));
    EXPECT_EQ(row(vc, "VC").reported, QStringList({"105%"})); // of the larger VC
    const ReportTable printed = VcReportTable(day);
    EXPECT_EQ(printed.headers[3], "#2");
    EXPECT_EQ(printed.rows[0], QStringList({"VC", "L", "4.00", "4.20", "105%"}));

    // A day without MVV tests has an empty table, never a row of zeros.
    EXPECT_TRUE(MvvReportTable(day).rows.empty());
    EXPECT_TRUE(MakeResultsList(kTestMvv, day).rows.empty());
}
