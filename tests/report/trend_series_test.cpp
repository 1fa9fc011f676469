#include "core/report/trend_series.h"

#include "core/records/predicted_values.h"
#include "core/report/report_data.h"
#include "core/report/result_tables.h"
#include "report_fixture.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

#include <gtest/gtest.h>

TEST_F(ReportTest, TrendRunsOldestFirstAndLeavesOutMissingFiles)
{
    // Without tests of the type (another type only) the trend is empty.
    addTest(kTestVc, "2026-01-10 10:00:00", FvcRecord(4.0f, 3.0f, 7.0f));
    const TrendSeries none = MakeTrendSeries(LoadTrendTests(db, patientId, kTestFvc), kTrendFvc);
    EXPECT_TRUE(none.Empty());
    EXPECT_TRUE(BuildTrendChart(none, QRectF(0, 0, 400, 300)).marks.empty());
    EXPECT_TRUE(LoadTrendTests(db, patientId + 7, kTestFvc).empty()); // no such patient

    // Stored out of time order, so that the order comes from the test times.
    addTest(kTestFvc, "2026-02-20 09:00:00", FvcRecord(4.2f, 3.3f, 7.5f, 5.0f));
    const QString gone =
        addTest(kTestFvc, "2026-01-15 09:00:00", FvcRecord(4.0f, 3.1f, 7.1f, 4.8f));
    addTest(kTestFvc, "2025-12-01 09:00:00", FvcRecord(3.8f, 3.0f, 6.9f, 4.6f));
    addTest(kTestFvc, "2026-03-30 09:00:00", FvcRecord(4.4f, 3.5f, 7.9f, 5.2f));
    QFile::remove(home.path("Case/" + QString::number(patientId) + "/" + gone));

    const std::vector<TrendTest> tests = LoadTrendTests(db, patientId, kTestFvc);
    ASSERT_EQ(tests.size(), 3u);
    ManeuverResult predicted;
    ComputePredictedValues(db, predicted, patient);
    ASSERT_GT(predicted.FVC, 0);

    const TrendSeries fvc = MakeTrendSeries(tests, kTrendFvc);
    ASSERT_EQ(fvc.points.size(), 3u);
    EXPECT_EQ(fvc.points[0].time, QDateTime(QDate(2025, 12, 1), QTime(9, 0)));
    EXPECT_EQ(fvc.points[2].time, QDateTime(QDate(2026, 3, 30), QTime(9, 0)));
    EXPECT_FLOAT_EQ(float(fvc.points[0].measured), 3.8f);
    EXPECT_FLOAT_EQ(float(fvc.points[1].measured), 4.2f);
    EXPECT_FLOAT_EQ(float(fvc.points[2].measured), 4.4f);
    EXPECT_FLOAT_EQ(float(fvc.predicted), predicted.FVC);
    EXPECT_EQ(fvc.Label(2), "FVC 4.40 L");

    // Each parameter reads its own field.
    const std::pair<int, float> expected[] = {{kTrendFev1, 3.5f},
                                              {kTrendPef, 7.9f},
                                              {kTrendFef25, 5.2f},
                                              {kTrendFef75, 5.2f * 0.35f},
                                              {kTrendFef2575, 5.2f * 0.6f}};
    for (const auto& [parameter, value] : expected)
        EXPECT_FLOAT_EQ(float(MakeTrendSeries(tests, parameter).points[2].measured), value)
            << TrendParameterName(parameter).toStdString();
    EXPECT_EQ(MakeTrendSeries(tests, kTrendPef).Label(0), "PEF 6.90 L/S");
    EXPECT_FLOAT_EQ(float(MakeTrendSeries(tests, kTrendFef2575).predicted), predicted.FEF2575);

    // The chart puts later tests further right and the reference line at the predicted value.
    const TrendChart chart = BuildTrendChart(fvc, QRectF(0, 0, 600, 400));
    ASSERT_EQ(chart.marks.size(), 3u);
    EXPECT_LT(chart.marks[0].x(), chart.marks[1].x());
    EXPECT_LT(chart.marks[1].x(), chart.marks[2].x());
    EXPECT_GT(chart.marks[0].y(), chart.marks[2].y()); // a larger value is higher up
    double highest = 0;
    for (const TrendPoint& p : fvc.points)
        highest = std::max(highest, p.predicted);
    EXPECT_NEAR(chart.reference.boundingRect().top(), chart.Map(0, highest).y(), 1e-6);

    QImage image(840, 1188, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintTrendPage(painter, QRectF(0, 0, 840, 1188),
                   TrendReport{patient.Name, patient.PatientNumber, kTestFvc, fvc});
    painter.end();
    int seriesPixels = 0; // pixels of the series colour: the line and its points were drawn
    const QColor color = TrendParameterColor(kTrendFvc);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (QColor(image.pixel(x, y)) == color)
                ++seriesPixels;
    EXPECT_GT(seriesPixels, 20);
}

TEST_F(ReportTest, EachTrendPointIsComparedWithTheValuesOfItsOwnDay)
{
    addTest(kTestFvc, "2016-04-20 09:00:00", FvcRecord(3.9f, 3.1f, 7.0f));
    addTest(kTestFvc, "2021-07-01 09:00:00", FvcRecord(3.8f, 3.0f, 6.8f));
    addTest(kTestFvc, "2021-09-01 09:00:00", FvcRecord(3.7f, 3.0f, 6.8f));
    const TrendSeries fvc = MakeTrendSeries(LoadTrendTests(db, patientId, kTestFvc), kTrendFvc);
    ASSERT_EQ(fvc.points.size(), 3u);
    for (const auto& [index, age] : {std::pair{0, 40}, std::pair{1, 45}, std::pair{2, 45}}) {
        PatientRecord then = patient;
        then.Age = age; // born 1976
        ManeuverResult expected;
        ASSERT_TRUE(ComputePredictedValues(db, expected, then));
        EXPECT_FLOAT_EQ(float(fvc.points[std::size_t(index)].predicted), expected.FVC)
            << "point " << index;
    }
    EXPECT_GT(fvc.points[0].predicted, fvc.points[1].predicted);
    // The reference line steps down where the age changed, and not between the 2021 tests.
    const TrendChart chart = BuildTrendChart(fvc, QRectF(0, 0, 600, 400));
    const QRectF line = chart.reference.boundingRect();
    EXPECT_NEAR(line.top(), chart.Map(0, fvc.points[0].predicted).y(), 1e-6);
    EXPECT_NEAR(line.bottom(), chart.Map(0, fvc.points[2].predicted).y(), 1e-6);
}

TEST_F(ReportTest, TheReportOfAnOldDayUsesTheAgeOfThatDay)
{
    addTest(kTestFvc, "2016-04-20 09:00:00", FvcRecord(3.9f, 3.1f, 7.0f));
    ReportData data;
    ASSERT_TRUE(LoadReportData(db, patientId, "2016-04-20", data));
    EXPECT_EQ(data.patient.Age, 40); // born 1976
    PatientRecord in2016 = patient;
    in2016.Age = 40;
    ManeuverResult expected;
    ASSERT_TRUE(ComputePredictedValues(db, expected, in2016));
    EXPECT_TRUE(data.result.predictedFound);
    EXPECT_EQ(data.result.predicted.FVC, expected.FVC);
    EXPECT_EQ(data.result.predicted.ELA, 40);
    ManeuverResult today;
    ComputePredictedValues(db, today, patient);
    EXPECT_NE(data.result.predicted.FVC, today.FVC);
    // The printed table shows the predicted value of 2016.
    EXPECT_EQ(MakeResultsList(kTestFvc, data.result).rows[0].predicted, FormatValue(expected.FVC));
}
