#pragma once
// CurvePlotWidget: the curve plot control of every window. A thin widget
// over the core painter (report/curve_plot.h), which builds and strokes the
// picture; this class only decides when to paint and with what.
//
// Live kinds 4-7 (the live test page): StartLive() runs a GUI-thread timer
// that repaints every 10 ms from the live point list, read under the plot
// lock; StopLive() ends it, Clear() empties the drawing and the scrolling.
//
// Stored kinds 0-3 (main page, results page): SetTests() takes the day's test
// files once and replays them through the flow engine; every paint then only
// fits the traces into the widget. SetView() switches between flow-volume and
// volume-time, SetOptions() changes the shown test, the single-loop switch and
// the predicted values without reading files again.
#include "core/measure/curve_point_list.h"
#include "core/measure/test_record.h"
#include "core/report/curve_plot.h"
#include "core/report/day_tests.h"

#include <QTimer>
#include <QWidget>

#include <optional>

class CurvePlotWidget : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kLiveIntervalMs = 10;

    explicit CurvePlotWidget(int kind, QWidget* parent = nullptr);

    int Kind() const { return m_plot.Kind(); }
    CurveView View() const { return m_plot.View(); }
    void SetView(CurveView view);

    // --- live kinds ---
    // The list the live plot reads (the process-wide one unless a test gives its own).
    void SetPointList(const CurvePointList* list) { m_list = list; }
    void StartLive();
    void StopLive();
    bool IsLive() const { return m_timer.isActive(); }
    void Clear();
    int ScrollSteps() const { return m_plot.ScrollSteps(); }
    // FVC plots draw the predicted values too (null: none). The record must outlive the plot.
    void SetPredicted(const ManeuverResult* predicted);

    // --- stored kinds ---
    void SetTests(DayTestList tests, const StoredPlotOptions& options = {});
    void SetOptions(const StoredPlotOptions& options);
    const DayTestList& Tests() const { return m_tests; }
    const std::vector<StoredCurve>& Curves() const { return m_curves; }

    // The geometry the next paint draws into `rect` (tests inspect it).
    CurveGeometry BuildGeometry(const QRectF& rect);
    // Paints into any painter, e.g. a grab or a benchmark image.
    void PaintInto(QPainter& painter, const QRectF& rect);
    // Paints done so far (live timer ticks that reached the screen).
    int PaintCount() const { return m_paintCount; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void rebuildCurves();

    CurvePlot m_plot;
    QTimer m_timer;
    const CurvePointList* m_list = nullptr; // live kinds draw nothing without one
    const ManeuverResult* m_predicted = nullptr;
    DayTestList m_tests;
    StoredPlotOptions m_options;
    std::vector<StoredCurve> m_curves;
    int m_paintCount = 0;
};
