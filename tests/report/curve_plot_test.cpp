#include "core/report/curve_plot.h"

#include "report_fixture.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

// `count` equal points of one direction.
std::vector<CurvePoint> run(int count, float flow, int slotCount, int direction)
{
    return std::vector<CurvePoint>(std::size_t(count), CurvePoint{flow, slotCount, direction});
}

std::vector<CurvePoint> operator+(std::vector<CurvePoint> a, const std::vector<CurvePoint>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QPointF lastVertex(const QPainterPath& path)
{
    const QPainterPath::Element e = path.elementAt(path.elementCount() - 1);
    return QPointF(e.x, e.y);
}

bool hasLabel(const CurveGeometry& g, const QString& text)
{
    for (const PlotLabel& label : g.labels)
        if (label.text == text)
            return true;
    return false;
}

} // namespace

TEST(CurveTrace, PointsWithoutSlotsDrawAndMoveNothing)
{
    EXPECT_EQ(CurveTrace(CurveView::FlowVolume, run(5, 3.0f, 0, 1)).size(), 1u); // the origin only
    EXPECT_EQ(CurveTrace(CurveView::VolumeTime, run(5, 3.0f, 0, 0)).size(), 1u);

    const auto plain = run(10, 2.0f, 5, 1) + run(10, 1.0f, 5, 0);
    const auto padded =
        run(3, 9.0f, 0, 1) + run(10, 2.0f, 5, 1) + run(4, 7.0f, 0, 0) + run(10, 1.0f, 5, 0);
    for (CurveView view : {CurveView::FlowVolume, CurveView::VolumeTime})
        EXPECT_EQ(CurveTrace(view, plain), CurveTrace(view, padded));

    // A live plot of only such points has no curve at all, just its frame.
    CurvePlot plot(kCurveLiveFlowVolume);
    const auto idle = run(20, 4.0f, 0, 1);
    const CurveGeometry g =
        plot.LiveGeometry(QRectF(0, 0, 400, 300), idle.data(), int(idle.size()));
    ASSERT_EQ(g.traces.size(), 1u);
    EXPECT_EQ(g.traces[0].pointCount, 1);
    EXPECT_FALSE(g.grid.isEmpty());
}

TEST(CurveTrace, ExpirationThenInspirationClosesTheLoopTowardsTheOrigin)
{
    // 2 L out at 5 L/s (200 points of 2 slots), then 2 L back in at 2.5 L/s.
    const auto points = run(100, 5.0f, 2, 1) + run(200, 2.5f, 2, 0);
    const auto trace = CurveTrace(CurveView::FlowVolume, points);
    ASSERT_EQ(trace.size(), 301u);
    EXPECT_NEAR(trace[100].x(), 2.0, 1e-6);
    EXPECT_DOUBLE_EQ(trace[100].y(), 5.0);     // expiration above the axis
    EXPECT_DOUBLE_EQ(trace[101].y(), -2.5);    // inspiration below it
    EXPECT_LT(trace[101].x(), trace[100].x()); // and moving back to the left
    EXPECT_NEAR(trace.back().x(), 0.0, 1e-6);

    // The painted path ends where volume 0 and the last flow map to.
    CurvePlot plot(kCurveLiveFlowVolume);
    const CurveGeometry g =
        plot.LiveGeometry(QRectF(0, 0, 600, 400), points.data(), int(points.size()));
    ASSERT_EQ(g.traces.size(), 1u);
    const QPointF end = lastVertex(g.traces[0].path);
    EXPECT_NEAR(end.x(), g.Map(0, 0).x(), 0.01);
    EXPECT_NEAR(end.y(), g.Map(0, -2.5).y(), 0.01);
    EXPECT_GT(end.y(), g.Map(0, 0).y()); // below the volume axis on screen
    EXPECT_EQ(plot.LastPosition(), end);

    // Volume-time: time always grows, the volume rises and falls back.
    const auto vt = CurveTrace(CurveView::VolumeTime, points);
    EXPECT_NEAR(vt.back().x(), 300 * 2 * kSlotSeconds, 1e-9);
    EXPECT_NEAR(vt[100].y(), 2.0, 1e-6);
    EXPECT_NEAR(vt.back().y(), 0.0, 1e-6);
}

TEST(CurvePlot, LongMvvScrollsByWholeGridSteps)
{
    CurvePlot plot(kCurveLiveMvvVolumeTime);
    const CurveAxes start = LiveAxes(kCurveLiveMvvVolumeTime);
    // 14.3 s of breathing, 1 L in and out every 2 s.
    std::vector<CurvePoint> points;
    for (int i = 0; i < 7150; ++i)
        points.push_back({1.0f, 1, (i / 500) % 2 == 0 ? 1 : 0});
    const double lastTime = 7150 * kSlotSeconds;

    std::vector<CurvePoint> head(points.begin(), points.begin() + 1000); // 2 s: still in view
    CurveGeometry g = plot.LiveGeometry(QRectF(0, 0, 500, 300), head.data(), int(head.size()));
    EXPECT_EQ(plot.ScrollSteps(), 0);
    EXPECT_DOUBLE_EQ(g.axes.xMin, start.xMin);

    g = plot.LiveGeometry(QRectF(0, 0, 500, 300), points.data(), int(points.size()));
    const int expected = int(std::ceil((lastTime - start.xMax) / kCurveGridStep - 1e-9));
    EXPECT_EQ(plot.ScrollSteps(), expected);
    EXPECT_DOUBLE_EQ(g.axes.xMin, start.xMin + expected * kCurveGridStep);
    EXPECT_DOUBLE_EQ(g.axes.xMax - g.axes.xMin,
                     start.xMax - start.xMin); // the window keeps its width
    EXPECT_LE(lastTime, g.axes.xMax);
    EXPECT_GT(lastTime, g.axes.xMax - kCurveGridStep);
    EXPECT_TRUE(g.area.contains(plot.LastPosition()) ||
                std::abs(plot.LastPosition().x() - g.area.right()) < 1);

    plot.Clear();
    EXPECT_EQ(plot.ScrollSteps(), 0);
}

TEST(CurvePlot, LongVolumeTimeCurveKeepsItsExtremesPerPixelColumn)
{
    // 60 s of 2 s breaths of 1 L at two slots per point: 15,000 points.
    std::vector<CurvePoint> points;
    for (int i = 0; i < 15000; ++i) {
        const int inBreath = i % 500;
        points.push_back({float(2.0 * std::sin(3.14159265 * (inBreath % 250) / 250.0)), 2,
                          inBreath < 250 ? 1 : 0});
    }
    CurvePlot plot(kCurveLiveMvvVolumeTime);
    const QRectF rect(0, 0, 400, 300);
    const CurveGeometry g = plot.LiveGeometry(rect, points.data(), int(points.size()));
    ASSERT_EQ(g.traces.size(), 1u);
    EXPECT_LE(g.traces[0].pointCount,
              4 * int(g.area.width()) + 8); // a handful per column, not thousands

    // The visible stretch reaches as high and as low as the data in view does.
    const auto trace = CurveTrace(CurveView::VolumeTime, points);
    double top = -1e9, bottom = 1e9;
    for (const QPointF& p : trace)
        if (p.x() >= g.axes.xMin) {
            top = std::max(top, p.y());
            bottom = std::min(bottom, p.y());
        }
    const QRectF drawn = g.traces[0].path.boundingRect();
    EXPECT_NEAR(drawn.top(), g.Map(0, top).y(), 0.5);
    EXPECT_NEAR(drawn.bottom(), g.Map(0, bottom).y(), 0.5);
    EXPECT_GE(drawn.left(), g.area.left() - 2); // nothing far left of the view
}

TEST(CurvePlot, AxesCarryTickLabelsAndUnitNames)
{
    CurvePlot flowVolume(kCurveLiveFlowVolume);
    const CurveGeometry fv = flowVolume.LiveGeometry(QRectF(0, 0, 600, 500), nullptr, 0);
    EXPECT_TRUE(hasLabel(fv, "[L/S]"));
    EXPECT_TRUE(hasLabel(fv, "  0"));
    EXPECT_TRUE(hasLabel(fv, "  -2") || hasLabel(fv, "  -5"));
    EXPECT_TRUE(fv.traces.empty()); // an empty list draws only grid and axes

    CurvePlot volumeTime(kCurveLiveFvcVolumeTime);
    const CurveGeometry vt = volumeTime.LiveGeometry(QRectF(0, 0, 600, 500), nullptr, 0);
    EXPECT_FALSE(hasLabel(vt, "[L/S]"));
    EXPECT_TRUE(hasLabel(vt, "  10"));
}

TEST_F(ReportTest, StoredCurvesReplayTheFileThroughTheFlowEngine)
{
    const PulseStream samples = FvcPulses(4.5, 9.0);
    TestFileHeader header;
    header.expCoefficient = 156;
    header.inspCoefficient = 145;
    const std::vector<CurvePoint> points = ReplayTest(header, samples);
    // One point per pulse, as the live plot drew them.
    ASSERT_EQ(points.size(), samples.size());
    int expiratory = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(points[i].direction, samples[i].direction);
        expiratory += points[i].direction;
    }
    EXPECT_GT(expiratory, 0);

    // The loop reaches about the volume the pulses carry and peaks near the model's PEF.
    const auto trace = CurveTrace(CurveView::FlowVolume, points);
    double maxVolume = 0, maxFlow = 0;
    for (const QPointF& p : trace) {
        maxVolume = std::max(maxVolume, p.x());
        maxFlow = std::max(maxFlow, p.y());
    }
    const double pulsesVolume = expiratory * FlowEngine::ExpiratoryPulseVolume(156);
    EXPECT_NEAR(maxVolume, pulsesVolume, 0.1 * pulsesVolume);
    EXPECT_NEAR(maxFlow, 9.0, 1.5);
}

TEST_F(ReportTest, StoredPlotShowsLegendSingleLoopAndPredictedStyles)
{
    addTest(kTestFvc, "2026-03-02 10:00:00", FvcRecord(4.4f, 3.5f, 8.5f), FvcPulses(4.4, 8.5));
    addTest(kTestFvc, "2026-03-02 10:05:00", FvcRecord(4.6f, 3.7f, 9.0f), FvcPulses(4.6, 9.0));
    const DayTestList tests = LoadDayTestFiles(db, patientId, "2026-03-02", kTestFvc);
    ASSERT_EQ(tests.size(), 2u);

    ManeuverResult predicted;
    predicted.FVC = 4.0f;
    predicted.PEF = 7.5f;
    predicted.FEF25 = 6.5f;
    predicted.FEF50 = 4.5f;
    predicted.FEF75 = 2.0f;
    predicted.FEV1 = 3.3f;

    CurvePlot plot(kCurveFvcResult);
    StoredPlotOptions options;
    options.shownIndex = 1;
    options.predicted = &predicted;
    options.predictedStyle = 1; // Point
    CurveGeometry g = plot.StoredGeometry(QRectF(0, 0, 500, 400),
                                          StoredCurves(plot.View(), tests, options), options);
    ASSERT_EQ(g.traces.size(), 2u);
    ASSERT_EQ(g.legend.size(), 2u);
    EXPECT_EQ(g.legend[0].text, " FVC1");
    EXPECT_EQ(g.legend[1].text, " FVC2");
    EXPECT_EQ(g.traces[1].color, WaveColor()); // the shown test in the wave colour
    EXPECT_NE(g.traces[0].color, g.traces[1].color);
    EXPECT_FALSE(g.predictedPoints.isEmpty());
    EXPECT_TRUE(g.predictedArea.isEmpty());
    EXPECT_GE(g.axes.xMax, 4.0); // the fitted range holds the curves

    options.singleLoop = true;
    options.predictedStyle = 0; // Area
    g = plot.StoredGeometry(QRectF(0, 0, 500, 400), StoredCurves(plot.View(), tests, options),
                            options);
    ASSERT_EQ(g.legend.size(), 1u);
    EXPECT_EQ(g.legend[0].text, " FVC2");
    EXPECT_TRUE(g.predictedPoints.isEmpty());
    EXPECT_FALSE(g.predictedArea.isEmpty());
    // The predicted area ends at the predicted FVC on the volume axis.
    EXPECT_TRUE(g.predictedArea.boundingRect().adjusted(-1, -1, 1, 1).contains(g.Map(4.0, 0)));

    predicted.FVC = 0; // nothing predicted: nothing drawn
    g = plot.StoredGeometry(QRectF(0, 0, 500, 400), StoredCurves(plot.View(), tests, options),
                            options);
    EXPECT_TRUE(g.predictedArea.isEmpty());

    // VC plots carry no legend; MVV ones do.
    EXPECT_TRUE(CurvePlot(kCurveVcResult)
                    .StoredGeometry(QRectF(0, 0, 400, 300), {{{{0, 0}, {1, 1}}, 1, Qt::red}}, {})
                    .legend.empty());
    EXPECT_EQ(CurvePlot(kCurveMvvResult)
                  .StoredGeometry(QRectF(0, 0, 400, 300), {{{{0, 0}, {1, 1}}, 3, Qt::red}}, {})
                  .legend[0]
                  .text,
              " MVV3");

    // Painting the geometry touches pixels inside the plot only.
    QImage image(500, 400, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    plot.DrawStored(painter, QRectF(0, 0, 500, 400), tests, options);
    painter.end();
    EXPECT_NE(image.pixel(250, 200), QColor(Qt::transparent).rgba());
}
