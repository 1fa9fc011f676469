// The curve plot control: live plots repainted by their timer from a list
// another thread fills, and the patient list's panes drawing the day's saved
// tests. The drawing rules themselves are the curve plot's own tests.
#include "report_gui_fixture.h"

#include "core/app/system_settings.h"
#include "core/measure/curve_point_list.h"
#include "core/records/patient_record.h"
#include "gui/measure/curve_pane.h"
#include "gui/measure/curve_plot_widget.h"

#include <QDate>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

using CurvePlotWidgetTest = GuiTest;
using CurvePaneTest = ReportGuiTest;

QPointF lastVertex(const QPainterPath& path)
{
    const QPainterPath::Element e = path.elementAt(path.elementCount() - 1);
    return QPointF(e.x, e.y);
}

TEST_F(CurvePlotWidgetTest, LivePlotFollowsAListFilledByAnotherThread)
{
    CurvePointList list;
    CCurvePlotWidget plot(kCurveLiveFvcVolumeTime);
    plot.SetPointList(&list);
    plot.resize(400, 300);
    plot.show();
    plot.StartLive();
    ASSERT_TRUE(plot.IsLive());

    std::atomic<int> done{0};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            list.Append({2.0f, 2, 1});
            if (i % 100 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        done = 1;
    });
    const int initial = plot.PaintCount();
    while (!done.load())
        QTest::qWait(10);
    writer.join();
    EXPECT_GT(plot.PaintCount(), initial); // repainted while the list grew
    const int before = plot.PaintCount();
    QTest::qWait(50);
    EXPECT_GT(plot.PaintCount(), before); // the timer goes on repainting
    // The last paint saw the whole list: 2000 points of 4 ms make 8 s, 2 L/s x 8 s = 16 L.
    const CurveGeometry g = plot.BuildGeometry(QRectF(plot.rect()));
    ASSERT_EQ(g.traces.size(), 1u);
    const QPointF end = lastVertex(g.traces[0].path);
    EXPECT_NEAR(end.x(), g.Map(8.0, 0).x(), 1.0);
    EXPECT_LT(g.axes.yMax, 16.0 + 1e-9); // the volume left the top: clipped, not rescaled

    plot.StopLive();
    EXPECT_FALSE(plot.IsLive());
    const int stopped = plot.PaintCount();
    QTest::qWait(60);
    EXPECT_LE(plot.PaintCount(), stopped + 1); // at most the final repaint
}

// Two FVC tests of a day, stored as the test writer stores them.
TEST_F(CurvePaneTest, PanesDrawTheDaysSavedTestsBestInTheWaveColour)
{
    const QString today = "2026-03-04";
    storeFvc(today + " 09:00:00", 4.0f, 3.2f, 7.5f);
    storeFvc(today + " 09:05:00", 4.4f, 3.5f, 8.0f);
    const int id = patientId;
    CCurvePane pane(kTestFvc);
    pane.resize(480, 360);
    pane.LoadDay(db, id, today);
    ASSERT_EQ(pane.Tests().size(), 2u);
    ASSERT_EQ(pane.Curves().size(), 2u);
    const CurveGeometry g = pane.BuildGeometry(QRectF(pane.rect()));
    ASSERT_EQ(g.legend.size(), 2u);
    EXPECT_EQ(g.legend[0].text, " FVC1");
    EXPECT_EQ(g.legend[1].text, " FVC2");
    int waveColoured = 0;
    for (const StoredCurve& curve : pane.Curves())
        waveColoured += curve.color == WaveColor();
    EXPECT_EQ(waveColoured, 1);
    // Each loop goes out to its FVC and back below the axis.
    for (const PlotTrace& trace : g.traces)
        EXPECT_GT(trace.pointCount, 20);

    // Single-loop display keeps the best test only.
    pane.LoadDay(db, id, today, nullptr, true);
    EXPECT_EQ(pane.Curves().size(), 1u);
    EXPECT_EQ(pane.Curves()[0].color, WaveColor());

    // The VC pane of that day has nothing to draw but its frame.
    CCurvePane vc(kTestVc);
    vc.LoadDay(db, id, today);
    EXPECT_TRUE(vc.Curves().empty());
    EXPECT_EQ(vc.Kind(), kCurveVcResult);
}

TEST_F(CurvePlotWidgetTest, DetailsSpotShowsAHandAndLeadsOn)
{
    CCurvePane pane(kTestMvv);
    pane.resize(400, 300);
    pane.show();
    int clicked = -1;
    QObject::connect(&pane, &CCurvePane::detailsClicked, [&](int type) { clicked = type; });
    // VC and MVV: 1/5 to 1/20 of the width from the right edge, 1/30 to 1/15 of the
    // height from the top; FVC: 1/3 to 1/10 and 1/30 to 1/7.
    EXPECT_EQ(CCurvePane::DetailsSpot(1, QSize(400, 300)), QRect(QPoint(320, 10), QPoint(380, 20)));
    EXPECT_EQ(CCurvePane::DetailsSpot(0, QSize(300, 210)), QRect(QPoint(200, 7), QPoint(270, 30)));
    const QPoint spot = CCurvePane::DetailsSpot(kTestMvv, pane.size()).center();
    QTest::mouseMove(&pane, spot);
    EXPECT_FALSE(pane.IsHighlighted()); // no tests that day: nothing to lead to
    pane.SetTestCount(2);
    QTest::mouseMove(&pane, spot + QPoint(1, 0));
    EXPECT_TRUE(pane.IsHighlighted());
    EXPECT_EQ(pane.cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(&pane, Qt::LeftButton, {}, spot);
    EXPECT_EQ(clicked, kTestMvv);
    QTest::mouseMove(&pane, QPoint(5, 290));
    EXPECT_FALSE(pane.IsHighlighted());
    EXPECT_NE(pane.cursor().shape(), Qt::PointingHandCursor);
}

} // namespace
