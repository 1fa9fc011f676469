// The curve plot control: live plots repainted by their timer from a list
// another thread fills, the three drawing rules seen through the control, and
// the patient list's panes drawing the day's saved tests.
#include "gui_fixture.h"
#include "gui/device/device_hooks.h"
#include "core/session/measurement_parts.h"

#include "core/app/system_settings.h"
#include "core/device/device_manager.h"
#include "core/measure/curve_point_list.h"
#include "core/records/patient_record.h"
#include "core/session/live_test_session.h"
#include "gui/measure/curve_pane.h"
#include "gui/measure/curve_plot_widget.h"

#include <QDate>
#include <QEventLoop>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

using CurvePlotWidgetTest = GuiTest;

void appendRun(CurvePointList& list, int count, float flow, int slotCount, int direction)
{
    for (int i = 0; i < count; ++i)
        list.Append({flow, slotCount, direction});
}

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

TEST_F(CurvePlotWidgetTest, DrawingRulesSeenThroughTheControl)
{
    const QRectF rect(0, 0, 500, 400);
    // Points without slots draw nothing and move nothing.
    {
        CurvePointList list;
        appendRun(list, 50, 5.0f, 0, 1);
        CCurvePlotWidget plot(kCurveLiveFlowVolume);
        plot.SetPointList(&list);
        const CurveGeometry g = plot.BuildGeometry(rect);
        ASSERT_EQ(g.traces.size(), 1u);
        EXPECT_EQ(g.traces[0].pointCount, 1);
        EXPECT_EQ(lastVertex(g.traces[0].path), g.Map(0, 0));
    }
    // Blowing 3 L out and breathing them in again brings the loop back to zero volume,
    // below the volume axis (inspiration is drawn downwards).
    {
        CurvePointList list;
        appendRun(list, 300, 5.0f, 1, 1);  // 300 x 2 ms x 5 L/s = 3 L out
        appendRun(list, 500, 3.0f, 1, 0);  // 500 x 2 ms x 3 L/s = 3 L in
        CCurvePlotWidget plot(kCurveLiveFlowVolume);
        plot.SetPointList(&list);
        const CurveGeometry g = plot.BuildGeometry(rect);
        ASSERT_EQ(g.traces.size(), 1u);
        const QPainterPath& path = g.traces[0].path;
        double rightmost = 0;
        for (int i = 0; i < path.elementCount(); ++i)
            rightmost = std::max(rightmost, path.elementAt(i).x);
        EXPECT_NEAR(rightmost, g.Map(3.0, 0).x(), 1.5);
        const QPointF end = lastVertex(path);
        EXPECT_NEAR(end.x(), g.Map(0, 0).x(), 1.5);
        EXPECT_NEAR(end.y(), g.Map(0, -3.0).y(), 1.5);
    }
    // A long MVV test: the view moves on by whole grid steps and keeps the last point in sight.
    {
        CurvePointList list;
        for (int breath = 0; breath < 14; ++breath) { // 14 x 2 s = 28 s
            appendRun(list, 500, 2.0f, 1, 1);
            appendRun(list, 500, 2.0f, 1, 0);
        }
        CCurvePlotWidget plot(kCurveLiveMvvVolumeTime);
        plot.SetPointList(&list);
        const CurveGeometry g = plot.BuildGeometry(rect);
        const CurveAxes start = LiveAxes(kCurveLiveMvvVolumeTime);
        ASSERT_GT(plot.ScrollSteps(), 0);
        const double shift = plot.ScrollSteps() * kCurveGridStep;
        EXPECT_DOUBLE_EQ(g.axes.xMin, start.xMin + shift);
        EXPECT_DOUBLE_EQ(g.axes.xMax, start.xMax + shift);
        EXPECT_LE(28.0, g.axes.xMax);
        EXPECT_GT(28.0, g.axes.xMax - kCurveGridStep); // one step less would lose it
        // Clear() starts the view from the beginning again.
        plot.Clear();
        EXPECT_EQ(plot.ScrollSteps(), 0);
    }
}

// Two FVC tests saved today through the live session against the demo device.
TEST_F(CurvePlotWidgetTest, PanesDrawTheDaysSavedTestsBestInTheWaveColour)
{
    Settings().simulator = 1;
    LiveParts().devices.SetSimulatorRealTime(false);
    SimConfig oneBlow = SimConfig::ForSetting(1, SimTest::Fvc);
    oneBlow.fvcBlows = 1; // a session of one blow each time
    LiveParts().devices.SetSimulatorConfig(oneBlow);
    const int id = addPatient("Ann");
    for (int i = 0; i < 2; ++i) {
        LiveTestSession session(LiveParts());
        QEventLoop loop;
        SaveResult saved;
        QObject::connect(&session, &LiveTestSession::deviceFinished, &loop, [&](int request) {
            SaveContext context;
            context.patientId = id;
            context.caseFolder = AppPaths::PatientCaseFolder(id);
            context.heightCm = 170;
            saved = session.Save(request, context, db);
            loop.quit();
        });
        QObject::connect(&session, &LiveTestSession::timedOut, &loop, &QEventLoop::quit);
        ASSERT_EQ(session.Start(kTestFvc), LiveTestSession::kStarted);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        ASSERT_EQ(saved.resultValid, 1) << saved.prompts.join('|').toStdString();
    }
    LiveParts().devices.SetSimulatorConfig(std::nullopt);
    LiveParts().devices.Disconnect();

    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
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
