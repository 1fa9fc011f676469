#pragma once
// The result tables of one patient's day as plain data, every figure read
// from the day-result model: the Best Value box, the results list and the
// tables of the printed report. Widgets and the report painter only lay
// these texts out.
#include "core/measure/test_record.h"
#include "core/report/day_result.h"

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// What a cell shows for a value nobody measured or predicted.
inline const QString kMissingText = QStringLiteral("\u2014");

// "%.2f"; empty (missing) for a value no test can hold: not finite, or 100000 or more.
QString FormatValue(double value);
// measured x 100 / predicted as "%.0f%%"; empty when the predicted value is 0
// (a percentage of nothing is not a number worth printing).
QString FormatPercent(double measured, double predicted);

// "Pre" or "Post" in the user's language.
QString PhaseName(int phase);
// The phase's grades and, for a withheld phase, why it shows no values:
// "Grade FEV1 F, FVC F: no acceptable or usable blow, values withheld".
QString PhaseGradeText(const PhaseValues& phase);

// The results page's Best Value box: FVC, FEV1, PEF, FEV1/FVC, one column per phase.
struct BestValueColumn {
    QString title; // "Pre", "Post"
    std::array<QString, 4> values;   // kMissingText where the phase is withheld
    std::array<QString, 4> percents; // of predicted; empty without a prediction and for the ratio
    QString note;                    // the phase's grades, or why it is withheld
};
struct BestValueBox {
    std::vector<BestValueColumn> columns; // empty for a day without FVC tests
    QString footnote;                     // what "*" means, when a value carries it
};
BestValueBox MakeBestValueBox(const DayResult& day);

// One parameter row of a table.
struct ResultRow {
    QString name; // the record's name of the parameter, e.g. "FEV1/FVC"
    QString unit;
    QString predicted;    // kMissingText when the set predicts nothing for it
    QStringList reported; // per phase (FVC): the value, % predicted; VC and MVV: % predicted of the best test
    QStringList tests;    // the day's tests, "#1" first
};

// The results list of one test type.
struct ResultsList {
    int testType = kTestFvc;
    QStringList headers; // "", Parameter, Unit, Pred, per phase value and %Pred, "#1", "#2", ...
    int firstTestColumn = 0;
    std::vector<ResultRow> rows; // empty for a day without tests
};
ResultsList MakeResultsList(int testType, const DayResult& day);

// A table of the printed report.
struct ReportTable {
    QString title;
    QStringList headers;           // Parameter, Unit, Pred, then the value columns
    std::vector<QStringList> rows; // one text per header
};
// The other values of each phase's best blow ("Values from best loop"); rows
// no phase has a value for are left out.
ReportTable FvcBestLoopTable(const DayResult& day);
// VC and MVV tables of the day's best test.
ReportTable VcReportTable(const DayResult& day);
ReportTable MvvReportTable(const DayResult& day);
