#pragma once
// The one painter of every spirometry curve: the live curves of a running test
// (from the live point list) and the stored curves of saved tests (rebuilt
// from their pulse streams through the flow engine). A plot first builds its
// geometry (paths and labels in the caller's rectangle), then strokes it into
// any QPainter: a widget, the print preview, a printer or a PDF page all get
// the same picture, and tests inspect the geometry instead of pixels.
#include "core/measure/curve_point_list.h"
#include "core/measure/test_record.h"
#include "core/report/day_tests.h"

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <vector>

class QPainter;

// What a plot shows; stored kinds 0-3 come from test files, live kinds 4-7
// from the live point list.
enum CurveKind : int {
    kCurveFvcResult = 0,
    kCurveMvvResult = 1,
    kCurveMvvResult2 = 2,
    kCurveVcResult = 3,
    kCurveLiveFlowVolume = 4,
    kCurveLiveFvcVolumeTime = 5,
    kCurveLiveVcVolumeTime = 6,
    kCurveLiveMvvVolumeTime = 7,
};

enum class CurveView {
    FlowVolume, // x volume (L), y flow (L/s): expiration above the axis
    VolumeTime, // x time (s), y volume (L)
};

inline constexpr double kCurveGridStep = 0.5;
inline constexpr double kSlotSeconds = 0.002;

bool IsLiveKind(int kind);
CurveView DefaultView(int kind);
int TestTypeOfKind(int kind); // TestType of the tests a kind shows

// The curve of a point list in data units, starting at the origin. Points
// with a slot count of 0 add nothing.
std::vector<QPointF> CurveTrace(CurveView view, const CurvePoint* points, int count);
// The same into `trace`, whose memory is kept from one repaint to the next;
// `blowStarts`, when given, gets the trace index where each blow (an
// expiration after an inspiration, or the first) begins.
void CurveTrace(CurveView view, const CurvePoint* points, int count, std::vector<QPointF>& trace,
                std::vector<int>* blowStarts = nullptr);
inline std::vector<QPointF> CurveTrace(CurveView view, const std::vector<CurvePoint>& points)
{
    return CurveTrace(view, points.data(), int(points.size()));
}

// A stored test's pulses run through the flow engine again, one point per
// pulse after the first, exactly as the live list received them.
std::vector<CurvePoint> ReplayTest(const TestFileHeader& header, const PulseStream& samples);

// One curve of a stored plot.
struct StoredCurve {
    std::vector<QPointF> trace; // data units
    int number = 0;             // the test's place in the day, 1 first
    QColor color;
};

// The data range a plot shows.
struct CurveAxes {
    double xMin = 0;
    double xMax = 10.0;
    double yMin = 0;
    double yMax = 10.0;
};
// The fixed range of a live kind before scrolling.
CurveAxes LiveAxes(int kind);
// A range that holds every trace (whole litres, seconds and L/s), never
// smaller than the live range of the same kind of curve.
CurveAxes FittedAxes(int kind, CurveView view, const std::vector<StoredCurve>& curves);

struct PlotLabel {
    QPointF pos; // anchor in the caller's units
    QString text;
    int align = 0; // Qt::Alignment flags relative to the anchor
    QColor color = Qt::black;
};

struct PlotTrace {
    QPainterPath path; // in the caller's units, clipped to `area` when painted
    QColor color;
    int pointCount = 0; // vertices of the path
};

// Everything a plot draws, in the units of the rectangle it was built for.
struct CurveGeometry {
    QRectF rect;    // the whole plot
    QRectF area;    // the plotting area inside the tick labels
    CurveAxes axes; // the data range of `area` (after scrolling)
    CurveView view = CurveView::FlowVolume;
    QPainterPath grid;
    QPainterPath axesPath;
    std::vector<PlotTrace> traces;
    QPainterPath predictedPoints;  // "Point" style: small crosses
    QPainterPath predictedArea;    // "Area" style: a filled outline
    std::vector<PlotLabel> labels; // tick labels and axis names
    std::vector<PlotLabel> legend; // one entry per curve, in its colour
    double fontSize = 10;          // label height in the caller's units

    // Pixel position of a data point.
    QPointF Map(double x, double y) const;
};

struct StoredPlotOptions {
    bool singleLoop = false;                   // only the shown test
    int shownIndex = -1;                       // the shown (best) test; -1 the last
    const ManeuverResult* predicted = nullptr; // FVC plots: predicted values to draw
    int predictedStyle = 1;                    // 1 "Point", 0 "Area"
    double fontSize = 0;                       // 0: from the rectangle's size
};

// Colours of the curves: the wave colour for the shown test, a fixed set for the others.
QColor WaveColor();
QColor CurveColor(int index, bool shown);

// The stored curves of the day's tests of one view; with singleLoop only the shown test.
std::vector<StoredCurve> StoredCurves(CurveView view, const DayTestList& tests,
                                      const StoredPlotOptions& options);

// One plot: its kind, view and scroll state.
class CurvePlot {
  public:
    explicit CurvePlot(int kind);

    int Kind() const { return m_kind; }
    CurveView View() const { return m_view; }
    void SetView(CurveView view) { m_view = view; }

    // Empties the drawing: scroll offset and last position back to the start.
    void Clear();
    int ScrollSteps() const { return m_scrollSteps; }
    QPointF LastPosition() const { return m_lastPosition; }

    // Live kinds: the geometry of `points` in `rect`; scrolls by whole grid
    // steps until the last point is inside the view.
    CurveGeometry LiveGeometry(const QRectF& rect, const CurvePoint* points, int count,
                               const ManeuverResult* predicted = nullptr, double fontSize = 0);
    // Draws the list while holding the plot lock.
    void DrawLive(QPainter& painter, const QRectF& rect,
                  const CurvePointList& list,
                  const ManeuverResult* predicted = nullptr);

    // Stored kinds: the day's curves fitted into `rect`.
    CurveGeometry StoredGeometry(const QRectF& rect, const std::vector<StoredCurve>& curves,
                                 const StoredPlotOptions& options) const;
    void DrawStored(QPainter& painter, const QRectF& rect, const DayTestList& tests,
                    const StoredPlotOptions& options) const;

  private:
    int m_kind;
    CurveView m_view;
    int m_scrollSteps = 0;
    QPointF m_lastPosition;
    std::vector<QPointF> m_trace; // the live trace, its memory reused every 10 ms
    std::vector<int> m_blowStarts; // where each blow of the live trace begins
    QImage m_frame;               // the live frame as painted, until the view changes
    CurveGeometry m_frameGeometry;
    qreal m_frameRatio = 0;
    std::uint32_t m_frameReference = 0;
};

// Strokes a built geometry: grid, axes, predicted values, curves, labels, legend (Liberation Sans,
// or Noto Sans CJK SC for Chinese).
void PaintCurveGeometry(QPainter& painter, const CurveGeometry& geometry);
