#pragma once
// Trend curves: one parameter of a patient over all tests of one type, oldest
// first, against the patient's predicted value; and the chart and report page
// that draw it (the trend dialog and the trend report share them).
#include "core/measure/test_record.h"
#include "core/report/day_tests.h"

#include <QColor>
#include <QDateTime>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <array>
#include <limits>
#include <vector>

class Database;
class QPainter;

// The parameters in the order of the dialog's list.
enum TrendParameter : int {
    kTrendFvc,
    kTrendFev1,
    kTrendPef,
    kTrendFef25,
    kTrendFef75,
    kTrendFef2575
};
inline constexpr int kTrendParameterCount = 6;

QString TrendParameterName(int parameter); // "FVC", "FEV1", "PEF", "FEF25", "FEF75", "FEF2575"
QString TrendParameterUnit(int parameter); // "L" or "L/S"
// The parameter named `name` (letter case ignored; "fef2575" and "fef25-75" alike), -1 for none.
int TrendParameterFromName(const QString& name);
// The colour of the measured series (FEF25 and PEF share FEF50COLOR).
QColor TrendParameterColor(int parameter);

// The (predicted, measured) pairs one test gives, in the order PEF, FEV1, FVC, FEF25, FEF2575,
// FEF75.
struct TrendTest {
    QString dataName;
    QDateTime time; // the header's test time; invalid when it does not parse
    std::array<double, 6> predicted{};
    std::array<double, 6> measured{};
    // z-scores against the patient's GLI set on the test's day; NaN where the
    // set has no equation or the patient is not on a GLI set.
    std::array<double, 6> z{kNoZ, kNoZ, kNoZ, kNoZ, kNoZ, kNoZ};
    static constexpr double kNoZ = std::numeric_limits<double>::quiet_NaN();
};

// Index of `parameter` in the pairs of a TrendTest.
int TrendPairIndex(int parameter);

// One point per test day, oldest first: what the day-result model reports for
// the type (FVC: the day's first phase), with the predicted values and
// z-scores of that day's set and age; empty for an unknown patient.
std::vector<TrendTest> LoadTrendTests(Database& db, int patientId, int testType);

// A measured value outside what a person can blow (or not finite) is kept as
// missing: no mark, a break in the line, an empty table cell.
inline constexpr double kMissingValue = std::numeric_limits<double>::quiet_NaN();

struct TrendPoint {
    QDateTime time;
    double measured = 0; // kMissingValue when the stored value is impossible
    double predicted = 0;
};

struct TrendSeries {
    int parameter = kTrendFvc;
    bool zScores = false; // the values are z-scores; the reference line is the LLN
    std::vector<TrendPoint> points; // oldest first; tests without a valid time are left out
    double predicted = 0; // the latest predicted value (0: none), drawn as the reference line

    bool Empty() const { return points.empty(); }
    // The value label "%s %.2f %s" of point `i`.
    QString Label(int i) const;
};
// `zScores`: the tests' z-scores in place of their values, against the LLN line.
TrendSeries MakeTrendSeries(const std::vector<TrendTest>& tests, int parameter, bool zScores = false);
// Whether any test has a z-score for `parameter`.
bool HasTrendZScores(const std::vector<TrendTest>& tests, int parameter);

// The chart's geometry in the caller's rectangle.
struct TrendChart {
    QRectF rect;
    QRectF area;
    double xMin = 0, xMax = 1; // seconds since the epoch
    double yMin = 0, yMax = 1;
    QPainterPath grid;
    QPainterPath frame;
    QPainterPath measured;      // the line through the measured values
    std::vector<QPointF> marks; // the measured points
    QPainterPath reference;     // the predicted value
    struct Label {
        QPointF pos;
        QString text;
        int align;
    };
    std::vector<Label> labels;
    double fontSize = 10;

    QPointF Map(double x, double y) const;
};
// `window`: the part of the whole chart to show, as fractions of the time
// range (from the left) and of the value range (from the top); the axes and
// labels always stay inside `rect`.
TrendChart BuildTrendChart(const TrendSeries& series, const QRectF& rect, double fontSize = 0,
                           const QRectF& window = QRectF(0, 0, 1, 1));
// Background TRENDBKCOLOR, reference line REFCOLOR, the series in its parameter colour.
void PaintTrendChart(QPainter& painter, const TrendChart& chart, int parameter);

// The trend report page: title, patient, the chart and a table of the points.
struct TrendReport {
    QString patientName;
    QString patientNumber;
    int testType = kTestFvc;
    TrendSeries series;
};
void PaintTrendPage(QPainter& painter, const QRectF& pageRect, const TrendReport& report);
