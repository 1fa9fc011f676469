#include "core/report/trend_series.h"

#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "core/clinical/gli_equations.h"
#include "core/clinical/gli_patient.h"
#include "core/records/patient_record.h"
#include "core/records/predicted_values.h"
#include "core/report/report_fonts.h"
#include "core/report/report_page.h"
#include "core/records/case_store.h"
#include "core/report/day_result.h"
#include "core/report/result_tables.h"

#include <QFont>
#include <QHash>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

QColor fromColorRef(ColorRef c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The most a person can blow, with room to spare: FVC and FEV1 in L, the flows in L/s.
double physicalLimit(int parameter)
{
    return parameter == kTrendFvc || parameter == kTrendFev1 ? 20.0 : 30.0;
}

bool withinLimit(double value, int parameter)
{
    return std::isfinite(value) && value >= 0 && value <= physicalLimit(parameter);
}

std::array<double, 6> pairsOf(const ManeuverResult& r)
{
    return {r.PEF, r.FEV1, r.FVC, r.FEF25, r.FEF2575, r.FEF75};
}

void setFont(QPainter& painter, double size, bool bold = false)
{
    painter.setFont(ReportFont(int(std::lround(size)), bold));
}

} // namespace

QString TrendParameterName(int parameter)
{
    static const char* names[kTrendParameterCount] = {"FVC",   "FEV1",  "PEF",
                                                      "FEF25", "FEF75", "FEF2575"};
    return parameter >= 0 && parameter < kTrendParameterCount ? names[parameter] : "";
}

QString TrendParameterUnit(int parameter)
{
    return parameter == kTrendFvc || parameter == kTrendFev1 ? "L" : "L/S";
}

int TrendParameterFromName(const QString& name)
{
    QString key = name.trimmed().toUpper();
    key.remove('-');
    for (int p = 0; p < kTrendParameterCount; ++p)
        if (key == TrendParameterName(p))
            return p;
    return -1;
}

QColor TrendParameterColor(int parameter)
{
    const SystemSettings& s = Settings();
    switch (parameter) {
    case kTrendFvc:
        return fromColorRef(s.fvcColor);
    case kTrendFev1:
        return fromColorRef(s.fev1Color);
    case kTrendFef75:
        return fromColorRef(s.fef75Color);
    case kTrendFef2575:
        return fromColorRef(s.fef2575Color);
    default:
        return fromColorRef(s.fef50Color);
    }
}

int TrendPairIndex(int parameter)
{
    switch (parameter) {
    case kTrendPef:
        return 0;
    case kTrendFev1:
        return 1;
    case kTrendFef25:
        return 3;
    case kTrendFef2575:
        return 4;
    case kTrendFef75:
        return 5;
    default:
        return 2;
    }
}

std::vector<TrendTest> LoadTrendTests(Database& db, int patientId, int testType)
{
    // One point per test day: what the day reports (for FVC its first phase,
    // the baseline), against the set and age of that day. A withheld phase or
    // a day of damaged tests only gives no point.
    std::vector<TrendTest> tests;
    QStringList days = TestDays(db, patientId);
    std::sort(days.begin(), days.end());
    for (const QString& dayText : days) {
        DayResult day;
        if (!LoadDayResult(db, patientId, QDate::fromString(dayText, "yyyy-MM-dd"), day))
            continue;
        const DayTestList& list = testType == kTestVc ? day.vc : testType == kTestMvv ? day.mvv : day.fvc;
        const ManeuverResult* record = nullptr;
        int index = -1;
        if (testType == kTestFvc) {
            if (day.phases.empty() || day.phases.front().withheld)
                continue;
            record = &day.phases.front().record;
            index = day.phases.front().flowsTest;
        } else {
            const TypeResult& best = testType == kTestVc ? day.vcResult : day.mvvResult;
            if (best.bestTest < 0)
                continue;
            record = &best.record;
            index = best.bestTest;
        }
        TrendTest test;
        if (index >= 0 && index < int(list.size())) {
            const DayTest& shown = list[std::size_t(index)];
            test.dataName = shown.dataName;
            const QByteArray time(shown.file.header.testTime, int(qstrnlen(shown.file.header.testTime, 32)));
            test.time = QDateTime::fromString(QString::fromLatin1(time), "yyyy-MM-dd HH:mm:ss");
        }
        if (!test.time.isValid())
            test.time = QDateTime(QDate::fromString(dayText, "yyyy-MM-dd"), QTime(12, 0));
        test.measured = pairsOf(*record);
        static const char* const names[6] = {"PEF", "FEV1", "FVC", "FEF25", "FEF2575", "FEF75"};
        for (std::size_t pair = 0; pair < 6; ++pair) {
            const ValueReference ref = day.ReferenceOf(names[pair], test.measured[pair]);
            test.predicted[pair] = ref.predicted.value_or(0.0);
            if (ref.z && day.set && test.measured[pair] > 0)
                test.z[pair] = *ref.z;
        }
        tests.push_back(test);
    }
    return tests;
}

bool HasTrendZScores(const std::vector<TrendTest>& tests, int parameter)
{
    const std::size_t pair = std::size_t(TrendPairIndex(parameter));
    return std::any_of(tests.begin(), tests.end(),
                       [&](const TrendTest& t) { return std::isfinite(t.z[pair]); });
}

QString TrendSeries::Label(int i) const
{
    if (i < 0 || i >= int(points.size()))
        return QString();
    const double value = points[std::size_t(i)].measured;
    if (zScores)
        return TrendParameterName(parameter) + " z " +
               (std::isnan(value) ? QString("--") : QString::asprintf("%.2f", value));
    if (std::isnan(value))
        return TrendParameterName(parameter) + " -- " + TrendParameterUnit(parameter);
    return QString::asprintf("%s %.2f %s", qPrintable(TrendParameterName(parameter)), value,
                             qPrintable(TrendParameterUnit(parameter)));
}

TrendSeries MakeTrendSeries(const std::vector<TrendTest>& tests, int parameter, bool zScores)
{
    TrendSeries series;
    series.parameter = parameter;
    series.zScores = zScores;
    const int pair = TrendPairIndex(parameter);
    if (zScores) {
        series.predicted = kLlnZ;
        for (const TrendTest& test : tests)
            if (test.time.isValid())
                series.points.push_back({test.time, test.z[std::size_t(pair)], kLlnZ});
        return series;
    }
    // Values from a damaged file or record are missing, never drawn or printed.
    const auto checked = [&](double value, double missing) {
        return withinLimit(value, parameter) ? value : missing;
    };
    for (const TrendTest& test : tests) {
        const double predicted = checked(test.predicted[std::size_t(pair)], 0.0);
        series.predicted = predicted;
        if (!test.time.isValid())
            continue;
        series.points.push_back(
            {test.time, checked(test.measured[std::size_t(pair)], kMissingValue), predicted});
    }
    return series;
}

QPointF TrendChart::Map(double x, double y) const
{
    return QPointF(area.left() + (x - xMin) / (xMax - xMin) * area.width(),
                   area.bottom() - (y - yMin) / (yMax - yMin) * area.height());
}

TrendChart BuildTrendChart(const TrendSeries& series, const QRectF& rect, double fontSize,
                           const QRectF& window)
{
    TrendChart c;
    c.rect = rect;
    c.fontSize = fontSize > 0 ? fontSize
                              : std::clamp(std::min(rect.width(), rect.height()) / 25.0, 6.0, 12.0);
    const double f = c.fontSize;
    c.area = QRectF(QPointF(rect.left() + 4 * f, rect.top() + 2.2 * f),
                    QPointF(rect.right() - 2 * f, rect.bottom() - 3 * f));

    // Time axis: the tests' span with half a day of room on each side.
    const double day = 86400.0;
    if (series.points.empty()) {
        const double now = double(QDateTime::currentSecsSinceEpoch());
        c.xMin = now - day;
        c.xMax = now + day;
    } else {
        c.xMin = double(series.points.front().time.toSecsSinceEpoch()) - day / 2;
        c.xMax = double(series.points.back().time.toSecsSinceEpoch()) + day / 2;
    }
    double top = std::max(series.predicted, 1.0);
    double bottom = 0;
    for (const TrendPoint& p : series.points)
        for (double value : {p.measured, p.predicted})
            if (!std::isnan(value)) {
                top = std::max(top, value);
                bottom = std::min(bottom, value);
            }
    if (series.zScores) {
        // The familiar scale from -5 to +3, wider only for values beyond it.
        c.yMin = std::floor(std::min(bottom, -5.0));
        c.yMax = std::ceil(std::max(top, 3.0));
    } else {
        // A series made by hand may still hold anything: the axis stops at what a person can blow.
        top = std::min(top, physicalLimit(series.parameter));
        c.yMin = 0;
        c.yMax = std::ceil(top * 1.2);
    }

    // What may be drawn: z-scores on the whole scale, values from 0 to what a person can blow.
    const double axisLow = c.yMin, axisHigh = c.yMax;
    const auto onAxis = [&](double v, bool level) {
        if (series.zScores)
            return std::isfinite(v) && v >= axisLow && v <= axisHigh;
        return (level ? v > 0 : v >= 0) && v <= top; // a level of 0 is a missing one
    };

    // A zoomed view shows a part of both ranges inside the same area, so the
    // axes, their labels and the dates stay on screen.
    const QRectF part = window.intersected(QRectF(0, 0, 1, 1));
    if (part.width() > 0 && part.height() > 0) {
        const double xRange = c.xMax - c.xMin, yRange = c.yMax - c.yMin, yTop = c.yMax;
        c.xMin += part.left() * xRange;
        c.xMax = c.xMin + part.width() * xRange;
        c.yMax = yTop - part.top() * yRange;
        c.yMin = yTop - part.bottom() * yRange;
    }
    const double shown = c.yMax - c.yMin;
    const bool zoomed = part != QRectF(0, 0, 1, 1);
    const double yStep = zoomed && shown <= 1     ? 0.1
                         : zoomed && shown <= 2.5 ? 0.25
                         : shown <= 5             ? 0.5
                         : shown <= 10            ? 1.0
                                                  : 2.0;
    const int decimals = yStep == 0.25 ? 2 : yStep < 1 ? 1 : 0;
    const double firstY = std::ceil(c.yMin / yStep - 1e-9) * yStep;

    c.frame.addRect(c.area);
    for (double y = firstY; y < c.yMax - 1e-9; y += yStep) {
        if (y <= c.yMin + 1e-9)
            continue;
        c.grid.moveTo(c.Map(c.xMin, y));
        c.grid.lineTo(c.Map(c.xMax, y));
    }
    for (double y = firstY; y <= c.yMax + 1e-9; y += yStep)
        c.labels.push_back({c.Map(c.xMin, y) - QPointF(0.4 * f, 0),
                            QString::number(y, 'f', decimals),
                            Qt::AlignRight | Qt::AlignVCenter});
    c.labels.push_back({QPointF(c.area.left() - 0.4 * f, c.area.top() - 0.7 * f),
                        series.zScores ? QString("[z]") : "[" + TrendParameterUnit(series.parameter) + "]",
                        Qt::AlignRight | Qt::AlignBottom});

    // The predicted value of each test's day, held until the next test: it steps where
    // the patient's age changed between tests. A missing level or one beyond the axis
    // draws no line.
    const bool levelsOnAxis =
        std::all_of(series.points.begin(), series.points.end(),
                    [&](const TrendPoint& p) { return onAxis(p.predicted, true); });
    if (!series.points.empty() && levelsOnAxis) {
        double level = series.points.front().predicted;
        c.reference.moveTo(c.Map(c.xMin, level));
        for (const TrendPoint& p : series.points) {
            const double x = double(p.time.toSecsSinceEpoch());
            c.reference.lineTo(c.Map(x, level));
            level = p.predicted;
            c.reference.lineTo(c.Map(x, level));
        }
        c.reference.lineTo(c.Map(c.xMax, level));
    } else if (series.points.empty() && onAxis(series.predicted, true)) {
        c.reference.moveTo(c.Map(c.xMin, series.predicted));
        c.reference.lineTo(c.Map(c.xMax, series.predicted));
    }
    // Date labels under the points, thinned so that they do not overlap.
    double lastLabelX = -1e9;
    bool lineOpen = false;
    for (std::size_t i = 0; i < series.points.size(); ++i) {
        const TrendPoint& p = series.points[i];
        const bool shown = onAxis(p.measured, false); // false for a missing value
        const QPointF at = c.Map(double(p.time.toSecsSinceEpoch()), shown ? p.measured : 0);
        if (shown) {
            // A missing value breaks the line rather than dropping it to zero.
            if (lineOpen)
                c.measured.lineTo(at);
            else
                c.measured.moveTo(at);
            c.marks.push_back(at);
        }
        lineOpen = shown;
        const bool inside = at.x() >= c.area.left() - 1e-6 && at.x() <= c.area.right() + 1e-6;
        if (inside && at.x() - lastLabelX >= 6 * f) {
            c.grid.moveTo(at.x(), c.area.top());
            c.grid.lineTo(at.x(), c.area.bottom());
            c.labels.push_back({QPointF(at.x(), c.area.bottom() + 0.3 * f),
                                p.time.toString("yyyy-MM-dd"), Qt::AlignHCenter | Qt::AlignTop});
            lastLabelX = at.x();
        }
    }
    return c;
}

void PaintTrendChart(QPainter& painter, const TrendChart& c, int parameter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double f = c.fontSize;
    painter.fillRect(c.area, fromColorRef(Settings().trendBkColor));
    QPen gridPen(QColor(0xC8, 0xC8, 0xC8));
    gridPen.setWidthF(f / 20);
    painter.strokePath(c.grid, gridPen);
    QPen framePen(Qt::black);
    framePen.setWidthF(f / 12);
    painter.strokePath(c.frame, framePen);
    painter.save();
    painter.setClipRect(c.area.adjusted(-0.5 * f, -0.5 * f, 0.5 * f, 0.5 * f),
                        Qt::IntersectClip);
    QPen referencePen(fromColorRef(Settings().refColor));
    referencePen.setWidthF(f / 6);
    referencePen.setStyle(Qt::DashLine);
    painter.strokePath(c.reference, referencePen);
    const QColor color = TrendParameterColor(parameter);
    QPen seriesPen(color);
    seriesPen.setWidthF(f / 6);
    painter.strokePath(c.measured, seriesPen);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    for (const QPointF& m : c.marks)
        painter.drawEllipse(m, 0.35 * f, 0.35 * f);
    painter.restore();
    setFont(painter, f);
    painter.setPen(Qt::black);
    const double big = 1000 * f;
    for (const TrendChart::Label& label : c.labels) {
        QRectF box(label.pos.x() - big, label.pos.y() - big, 2 * big, 2 * big);
        if (label.align & Qt::AlignRight)
            box.moveRight(label.pos.x());
        if (label.align & Qt::AlignTop)
            box.moveTop(label.pos.y());
        if (label.align & Qt::AlignBottom)
            box.moveBottom(label.pos.y());
        painter.drawText(box, label.align, label.text);
    }
    painter.restore();
}

void PaintTrendPage(QPainter& painter, const QRectF& pageRect, const TrendReport& report)
{
    if (pageRect.width() <= 0 || pageRect.height() <= 0)
        return;
    painter.save();
    painter.translate(pageRect.topLeft());
    const double scale = pageRect.width() / kReportSheetWidth;
    painter.scale(scale, scale);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double margin = 60, width = kReportSheetWidth - 2 * margin;
    double y = 50;
    auto text = [&](const QRectF& box, int flags, const QString& s, double size,
                    bool bold = false) {
        setFont(painter, size, bold);
        painter.setPen(Qt::black);
        painter.drawText(box, flags, s);
    };
    const QString separator =
        Settings().language.compare("Chinese", Qt::CaseInsensitive) == 0 ? "" : " ";
    const QString title = GetLangText("TREND CURVE", 176);
    text(QRectF(margin, y, width, 44), Qt::AlignCenter,
         Settings().hospital.isEmpty() ? title : Settings().hospital + separator + title, 26, true);
    y += 56;
    static const char* types[] = {"FVC", "VC", "MVV"};
    const char* type = report.testType >= 0 && report.testType < 3 ? types[report.testType] : "";
    text(QRectF(margin, y, width, 24), Qt::AlignLeft | Qt::AlignVCenter,
         GetLangText("CASE", 104) + ' ' + report.patientNumber + "    " + GetLangText("CASE", 105) +
             ' ' + report.patientName + "    " + QString(type) + " " + GetLangText("CASE", 1221) +
             ": " + TrendParameterName(report.series.parameter),
         14);
    y += 34;

    const TrendChart chart = BuildTrendChart(report.series, QRectF(margin, y, width, 460), 12);
    PaintTrendChart(painter, chart, report.series.parameter);
    y += 480;

    // The points as a table: date, measured, predicted, percentage.
    const double rowHeight = 21;
    const QStringList headers = {GetLangText("REPORT", 185),
                                 TrendParameterName(report.series.parameter),
                                 GetLangText("CASE", 1201), GetLangText("CASE", 1212)};
    auto row = [&](const QStringList& cells, bool header) {
        if (header)
            painter.fillRect(QRectF(margin, y, width, rowHeight), QColor(0xE8, 0xE8, 0xE8));
        for (int c = 0; c < 4; ++c) {
            const QRectF cell(margin + c * width / 4, y, width / 4, rowHeight);
            QPen pen(QColor(0x90, 0x90, 0x90));
            pen.setWidthF(0.8);
            painter.setPen(pen);
            painter.drawRect(cell);
            text(cell, Qt::AlignCenter, cells.value(c), 12, header);
        }
        y += rowHeight;
    };
    row(headers, true);
    const double bottom = pageRect.height() / scale - 60;
    for (int i = int(report.series.points.size()) - 1; i >= 0 && y + rowHeight <= bottom; --i) {
        const TrendPoint& p = report.series.points[std::size_t(i)];
        row({p.time.toString("yyyy-MM-dd HH:mm"), FormatValue(p.measured), FormatValue(p.predicted),
             FormatPercent(p.measured, p.predicted)},
            false);
    }
    painter.restore();
}
