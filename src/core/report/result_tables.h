#pragma once
// The result tables of one patient's day as plain data: the Best Value box,
// the results list and the tables of the printed report. Widgets and the
// report painter only lay these texts out.
#include "core/measure/maneuver_quality.h"
#include "core/measure/test_record.h"
#include "core/report/day_tests.h"

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// "%.2f"; empty (missing) for a value no test can hold: not finite, or 100000 or more.
QString FormatValue(double value);
// measured x 100 / predicted as "%.0f%%"; empty when the predicted value is 0
// (a percentage of nothing is not a number worth printing).
QString FormatPercent(double measured, double predicted);

// Which test of a day gives each best value. Tests are ranked by their
// figures to two decimals, as their CaseInfo rows hold them; on a tie the
// earlier test wins.
struct FvcBest {
    bool valid = false;    // false for a day without FVC tests: the tables stay empty
    ManeuverResult record; // the largest-FVC+FEV1 test with FVC, FEV1 and FEV1/FVC replaced
    int bestIndex = -1;    // the largest FVC+FEV1 test (its PEF, flows and the rest)
    int maxFvcIndex = -1;
    int maxFev1Index = -1;
    int maxPefIndex = -1;
};
FvcBest ComputeFvcBest(const ManeuverList& tests);
// The test with the largest VC or MVV, -1 for none.
int BestVcIndex(const ManeuverList& tests);
int BestMvvIndex(const ManeuverList& tests);

// The test a pane shows first and the report calls best: the largest FVC+FEV1,
// VC or MVV by type; -1 for none.
int BestTestIndex(int testType, const ManeuverList& tests);

ManeuverList RecordsOf(const DayTestList& tests);

// The results page's Best Value box: FVC, FEV1, PEF, FEV1/FVC.
struct BestValueBox {
    std::array<QString, 4> values;
    std::array<QString, 4> percents; // all empty unless the predicted values allow them
};
BestValueBox MakeBestValueBox(const FvcBest& best, const ManeuverResult& predicted);

// One parameter row of a table.
struct ResultRow {
    QString name; // the record's name of the parameter, e.g. "FEV1/FVC"
    QString unit;
    QString predicted; // empty when the row has no predicted value
    QString best;      // FVC list only
    QString percent;   // empty when the row has no percentage
    QStringList tests; // the day's tests, "#1" first
};

// The results list of one test type.
struct ResultsList {
    int testType = kTestFvc;
    QStringList headers; // "", Parameter, Unit, Pre., [Best,] Percent, "#1", "#2", ...
    int firstTestColumn = 0;
    std::vector<ResultRow> rows; // empty for a day without tests
};
ResultsList MakeResultsList(int testType, const ManeuverList& tests,
                            const ManeuverResult& predicted);

// A table of the printed report.
struct ReportTable {
    QString title;
    QStringList headers;           // Parameter, Unit, Pre., value column, Percent
    std::vector<QStringList> rows; // one text per header
};
// "Best value from all loops" and "Values from best loop" ("#Best%d").
ReportTable FvcBestTable(const FvcBest& best, const ManeuverResult& predicted);
ReportTable FvcBestLoopTable(const FvcBest& best, const ManeuverResult& predicted);
// VC and MVV tables of the best test (`bestIndex` into the day's list, 0-based).
ReportTable VcReportTable(const ManeuverResult& best, int bestIndex,
                          const ManeuverResult& predicted);
ReportTable MvvReportTable(const ManeuverResult& best, int bestIndex,
                           const ManeuverResult& predicted);

// Repeatability over the day's tests and acceptability of the shown one.
QualityLines DayQualityLines(const DayTestList& tests, int shownIndex);
