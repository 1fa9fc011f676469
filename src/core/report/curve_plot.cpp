#include "core/report/curve_plot.h"

#include "core/app/system_settings.h"
#include "core/measure/maneuver_assembler.h"
#include "core/report/report_fonts.h"

#include <QFont>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

namespace {

QColor fromColorRef(ColorRef c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The live kind whose range a stored curve of `kind` in `view` starts from.
int rangeKind(int kind, CurveView view)
{
    if (view == CurveView::FlowVolume)
        return kCurveLiveFlowVolume;
    switch (kind) {
    case kCurveVcResult:
    case kCurveLiveVcVolumeTime:
        return kCurveLiveVcVolumeTime;
    case kCurveMvvResult:
    case kCurveMvvResult2:
    case kCurveLiveMvvVolumeTime:
        return kCurveLiveMvvVolumeTime;
    default:
        return kCurveLiveFvcVolumeTime;
    }
}

// Default label height for a plot of this size.
double defaultFontSize(const QRectF& rect)
{
    return std::clamp(std::min(rect.width(), rect.height()) / 22.0, 6.0, 12.0);
}

// Distance between labelled ticks: the first of 1, 2, 5, 10, ... data units
// that leaves `minimum` units of room.
double labelInterval(double unitsPerValue, double minimum)
{
    for (double interval : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0})
        if (interval * unitsPerValue >= minimum)
            return interval;
    return 100.0;
}

// Grid, frame, zero axes, tick labels and axis names for `axes` in `rect`.
CurveGeometry frameGeometry(const QRectF& rect, const CurveAxes& axes, CurveView view,
                            double fontSize)
{
    CurveGeometry g;
    g.rect = rect;
    g.axes = axes;
    g.view = view;
    g.fontSize = fontSize > 0 ? fontSize : defaultFontSize(rect);
    const double f = g.fontSize;
    g.area = QRectF(QPointF(rect.left() + 3.2 * f, rect.top() + 2.2 * f),
                    QPointF(rect.right() - 1.0 * f, rect.bottom() - 2.6 * f));
    if (g.area.width() <= 0 || g.area.height() <= 0)
        g.area = rect;

    const double xUnit = g.area.width() / (axes.xMax - axes.xMin);
    const double yUnit = g.area.height() / (axes.yMax - axes.yMin);

    // Grid every half unit while the lines stay apart, else at the labels.
    const double xLabels = labelInterval(xUnit, 2.6 * f);
    const double yLabels = labelInterval(yUnit, 1.6 * f);
    const double xGrid = kCurveGridStep * xUnit >= 4 ? kCurveGridStep : xLabels;
    const double yGrid = kCurveGridStep * yUnit >= 4 ? kCurveGridStep : yLabels;
    for (double x = std::ceil(axes.xMin / xGrid) * xGrid; x <= axes.xMax + 1e-9; x += xGrid) {
        g.grid.moveTo(g.Map(x, axes.yMin));
        g.grid.lineTo(g.Map(x, axes.yMax));
    }
    for (double y = std::ceil(axes.yMin / yGrid) * yGrid; y <= axes.yMax + 1e-9; y += yGrid) {
        g.grid.moveTo(g.Map(axes.xMin, y));
        g.grid.lineTo(g.Map(axes.xMax, y));
    }

    g.axesPath.addRect(g.area);
    if (axes.yMin < 0 && axes.yMax > 0) {
        g.axesPath.moveTo(g.Map(axes.xMin, 0));
        g.axesPath.lineTo(g.Map(axes.xMax, 0));
    }
    if (axes.xMin < 0 && axes.xMax > 0) {
        g.axesPath.moveTo(g.Map(0, axes.yMin));
        g.axesPath.lineTo(g.Map(0, axes.yMax));
    }

    for (double x = std::ceil(axes.xMin / xLabels) * xLabels; x <= axes.xMax + 1e-9; x += xLabels) {
        const QPointF at = g.Map(x, axes.yMin);
        g.labels.push_back({QPointF(at.x(), at.y() + 0.2 * f),
                            QString::asprintf("  %d", int(std::lround(x))),
                            Qt::AlignHCenter | Qt::AlignTop});
    }
    for (double y = std::ceil(axes.yMin / yLabels) * yLabels; y <= axes.yMax + 1e-9; y += yLabels) {
        const QPointF at = g.Map(axes.xMin, y);
        g.labels.push_back({QPointF(at.x() - 0.3 * f, at.y()),
                            QString::asprintf("  %d", int(std::lround(y))),
                            Qt::AlignRight | Qt::AlignVCenter});
    }
    const bool flow = view == CurveView::FlowVolume;
    g.labels.push_back({QPointF(g.area.left() - 0.3 * f, g.area.top() - 0.6 * f),
                        flow ? "[L/S]" : "[L]", Qt::AlignRight | Qt::AlignBottom});
    g.labels.push_back({QPointF(g.area.right(), g.area.bottom() + 1.3 * f), flow ? "[L]" : "[S]",
                        Qt::AlignRight | Qt::AlignTop});
    return g;
}

// CurveGeometry::Map with its divisions done once, for tens of thousands of points.
class Mapper {
  public:
    explicit Mapper(const CurveGeometry& g)
        : m_left(g.area.left()), m_bottom(g.area.bottom()), m_xMin(g.axes.xMin),
          m_yMin(g.axes.yMin), m_sx(g.area.width() / (g.axes.xMax - g.axes.xMin)),
          m_sy(g.area.height() / (g.axes.yMax - g.axes.yMin))
    {
    }
    QPointF operator()(const QPointF& p) const
    {
        return QPointF(m_left + (p.x() - m_xMin) * m_sx, m_bottom - (p.y() - m_yMin) * m_sy);
    }
    double X(double x) const { return m_left + (x - m_xMin) * m_sx; }

  private:
    double m_left, m_bottom, m_xMin, m_yMin, m_sx, m_sy;
};

// The trace in the geometry's units, thinned to what the pixels can show: a
// volume-time curve keeps per pixel column its first, lowest, highest and last
// vertex; a flow-volume curve drops vertices within a unit of the last one kept.
// A list of tens of thousands of points thus strokes as a few thousand vertices.
PlotTrace mapTrace(const CurveGeometry& g, const std::vector<QPointF>& trace, const QColor& color)
{
    PlotTrace out;
    out.color = color;
    if (trace.empty())
        return out;
    const int n = int(trace.size());
    const Mapper map(g);
    QPointF last = map(trace.front());
    out.path.moveTo(last);
    out.pointCount = 1;
    auto emit_ = [&](const QPointF& p) {
        out.path.lineTo(p);
        last = p;
        ++out.pointCount;
    };
    if (g.view == CurveView::FlowVolume) {
        for (int i = 1; i < n; ++i) {
            const QPointF p = map(trace[std::size_t(i)]);
            if (i == n - 1 || std::fabs(p.x() - last.x()) + std::fabs(p.y() - last.y()) >= 1.0)
                emit_(p);
        }
        return out;
    }
    // Vertices left of the view are of no use, except the last one, where the visible line starts.
    int i = 1;
    while (i < n - 1 && map.X(trace[std::size_t(i + 1)].x()) < g.area.left() - 1)
        ++i;
    if (i > 1) {
        last = map(trace[std::size_t(i)]);
        out.path = QPainterPath(last);
        ++i;
    }
    while (i < n) {
        // One pixel column: its vertices in order, reduced to first, extremes, last.
        const QPointF first = map(trace[std::size_t(i)]);
        const double column = std::floor(first.x());
        QPointF low = first, high = first, end = first;
        int lowAt = i, highAt = i;
        int j = i + 1;
        for (; j < n; ++j) {
            const QPointF p = map(trace[std::size_t(j)]);
            if (std::floor(p.x()) != column)
                break;
            if (p.y() < low.y()) {
                low = p;
                lowAt = j;
            }
            if (p.y() > high.y()) {
                high = p;
                highAt = j;
            }
            end = p;
        }
        emit_(first);
        if (j - i > 1) {
            const bool lowFirst = lowAt <= highAt;
            const QPointF a = lowFirst ? low : high, b = lowFirst ? high : low;
            if (a != first)
                emit_(a);
            if (b != a && b != end)
                emit_(b);
            if (end != last)
                emit_(end);
        }
        i = j;
    }
    return out;
}

// A live flow-volume loop: breath after breath runs over the pixels of the one
// before. As in mapTrace, vertices within a unit of the last one are dropped;
// a step of at most two pixels whose middle and end land on pixels already
// inked adds nothing the eye can see and is left out too (the path lifts and comes down
// again where the curve leaves the inked track).
PlotTrace mapLoopTrace(const CurveGeometry& g, const std::vector<QPointF>& trace,
                       const QColor& color)
{
    PlotTrace out;
    out.color = color;
    if (trace.empty())
        return out;
    const Mapper map(g);
    const QRect cells = g.area.toAlignedRect().adjusted(-1, -1, 1, 1);
    const QRectF view = g.area.adjusted(-2, -2, 2, 2);
    std::vector<std::uint8_t> inked(std::size_t(std::max(0, cells.width() * cells.height())), 0);
    auto cell = [&](const QPointF& p) -> std::uint8_t* {
        const int x = int(std::floor(p.x())) - cells.left();
        const int y = int(std::floor(p.y())) - cells.top();
        if (x < 0 || y < 0 || x >= cells.width() || y >= cells.height())
            return nullptr;
        return &inked[std::size_t(y) * std::size_t(cells.width()) + std::size_t(x)];
    };
    QPointF last = map(trace.front());
    out.path.moveTo(last);
    out.pointCount = 1;
    bool down = true;
    const int n = int(trace.size());
    for (int i = 1; i < n; ++i) {
        const QPointF p = map(trace[std::size_t(i)]);
        const double dx = std::fabs(p.x() - last.x()), dy = std::fabs(p.y() - last.y());
        const bool end = i == n - 1;
        if (!end && dx + dy < 1.0)
            continue;
        std::uint8_t* to = cell(p);
        std::uint8_t* mid = cell((p + last) / 2);
        // A step wholly beyond one edge of the area is clipped away anyway.
        const bool outside = (p.x() < view.left() && last.x() < view.left()) ||
                             (p.x() > view.right() && last.x() > view.right()) ||
                             (p.y() < view.top() && last.y() < view.top()) ||
                             (p.y() > view.bottom() && last.y() > view.bottom());
        if (!end && (outside || (dx <= 2.0 && dy <= 2.0 && to && *to && mid && *mid))) {
            down = false;
            last = p;
            continue;
        }
        if (!down) {
            out.path.moveTo(last);
            ++out.pointCount;
            down = true;
        }
        out.path.lineTo(p);
        ++out.pointCount;
        for (std::uint8_t* c : {cell(last), mid, to})
            if (c)
                *c = 1;
        last = p;
    }
    return out;
}

void addCross(QPainterPath& path, const QPointF& at, double size)
{
    path.moveTo(at.x() - size, at.y());
    path.lineTo(at.x() + size, at.y());
    path.moveTo(at.x(), at.y() - size);
    path.lineTo(at.x(), at.y() + size);
}

// Predicted values of an FVC plot. Flow-volume: PEF near the start and FEF25,
// FEF50, FEF75 at 25, 50 and 75 % of the predicted FVC, ending at FVC on the
// volume axis. Volume-time: FEV1 at 1 s, FEV3 at 3 s, FEV6 at 6 s and FVC.
void addPredicted(CurveGeometry& g, const ManeuverResult& p, int style)
{
    if (p.FVC <= 0)
        return;
    std::vector<QPointF> marks;
    if (g.view == CurveView::FlowVolume) {
        const std::pair<double, float> flows[] = {
            {0.1, p.PEF}, {0.25, p.FEF25}, {0.5, p.FEF50}, {0.75, p.FEF75}};
        for (const auto& [share, flow] : flows)
            if (flow > 0)
                marks.emplace_back(share * p.FVC, flow);
        marks.emplace_back(p.FVC, 0.0);
    } else {
        const std::pair<double, float> volumes[] = {{1.0, p.FEV1}, {3.0, p.FEV3}, {6.0, p.FEV6}};
        for (const auto& [seconds, volume] : volumes)
            if (volume > 0 && seconds < g.axes.xMax)
                marks.emplace_back(seconds, volume);
        marks.emplace_back(0.9 * g.axes.xMax, p.FVC);
    }
    if (style == 0) {
        g.predictedArea.moveTo(g.Map(0, 0));
        for (const QPointF& m : marks)
            g.predictedArea.lineTo(g.Map(m.x(), m.y()));
        if (g.view == CurveView::VolumeTime) {
            g.predictedArea.lineTo(g.Map(g.axes.xMax, p.FVC));
            g.predictedArea.lineTo(g.Map(g.axes.xMax, 0));
        }
        g.predictedArea.closeSubpath();
    } else {
        for (const QPointF& m : marks)
            addCross(g.predictedPoints, g.Map(m.x(), m.y()), 0.35 * g.fontSize);
    }
}

constexpr int kColouredBlows = 8;

// The live targets: predicted PEF and FVC as lines across the plot, labelled.
void addTargets(CurveGeometry& g, const ManeuverResult& p)
{
    auto horizontal = [&](double y, const char* name) {
        if (y <= 0 || y > g.axes.yMax)
            return;
        g.predictedPoints.moveTo(g.Map(g.axes.xMin, y));
        g.predictedPoints.lineTo(g.Map(g.axes.xMax, y));
        g.labels.push_back({g.Map(g.axes.xMax, y), name, Qt::AlignRight | Qt::AlignBottom, Qt::darkRed});
    };
    if (g.view == CurveView::FlowVolume) {
        horizontal(p.PEF, "PEF");
        if (p.FVC > 0 && p.FVC < g.axes.xMax) {
            g.predictedPoints.moveTo(g.Map(p.FVC, g.axes.yMin));
            g.predictedPoints.lineTo(g.Map(p.FVC, g.axes.yMax));
            g.labels.push_back({g.Map(p.FVC, g.axes.yMax), "FVC", Qt::AlignLeft | Qt::AlignTop, Qt::darkRed});
        }
    } else {
        horizontal(p.FVC, "FVC");
    }
}

const char* legendName(int kind)
{
    switch (kind) {
    case kCurveFvcResult:
        return " FVC";
    case kCurveMvvResult:
    case kCurveMvvResult2:
        return " MVV";
    default:
        return nullptr;
    }
}

} // namespace

bool IsLiveKind(int kind)
{
    return kind >= kCurveLiveFlowVolume && kind <= kCurveLiveMvvVolumeTime;
}

CurveView DefaultView(int kind)
{
    return kind == kCurveFvcResult || kind == kCurveLiveFlowVolume ? CurveView::FlowVolume
                                                                   : CurveView::VolumeTime;
}

int TestTypeOfKind(int kind)
{
    switch (kind) {
    case kCurveMvvResult:
    case kCurveMvvResult2:
    case kCurveLiveMvvVolumeTime:
        return kTestMvv;
    case kCurveVcResult:
    case kCurveLiveVcVolumeTime:
        return kTestVc;
    default:
        return kTestFvc;
    }
}

std::vector<QPointF> CurveTrace(CurveView view, const CurvePoint* points, int count)
{
    std::vector<QPointF> trace;
    CurveTrace(view, points, count, trace);
    return trace;
}

void CurveTrace(CurveView view, const CurvePoint* points, int count, std::vector<QPointF>& trace,
                std::vector<int>* blowStarts)
{
    trace.clear();
    trace.reserve(std::size_t(std::max(count, 0)) + 1);
    trace.emplace_back(0.0, 0.0);
    if (blowStarts)
        blowStarts->clear();
    double volume = 0;
    double time = 0;
    bool inspired = true;
    for (int i = 0; i < count; ++i) {
        const CurvePoint& p = points[i];
        if (p.slotCount <= 0)
            continue;
        const bool expiration = p.direction != 0;
        if (blowStarts && expiration && inspired)
            blowStarts->push_back(int(trace.size()) - 1);
        inspired = !expiration;
        const double step = double(p.flow) * p.slotCount * kSlotSeconds;
        volume += expiration ? step : -step;
        if (view == CurveView::FlowVolume) {
            trace.emplace_back(volume, expiration ? p.flow : -p.flow);
        } else {
            time += p.slotCount * kSlotSeconds;
            trace.emplace_back(time, volume);
        }
    }
}

std::vector<CurvePoint> ReplayTest(const TestFileHeader& header, const PulseStream& samples)
{
    return ManeuverAssembler::ReplayStored(header.expCoefficient, header.inspCoefficient, samples);
}

CurveAxes LiveAxes(int kind)
{
    switch (kind) {
    case kCurveFvcResult:
    case kCurveLiveFlowVolume:
        return {-1.0, 8.0, -8.0, 12.0};
    case kCurveVcResult:
    case kCurveLiveVcVolumeTime:
        return {0.0, 30.0, -5.0, 5.0};
    case kCurveMvvResult:
    case kCurveMvvResult2:
    case kCurveLiveMvvVolumeTime:
        return {0.0, 10.0, -4.0, 4.0};
    default:
        return {0.0, 10.0, -1.0, 8.0};
    }
}

CurveAxes FittedAxes(int kind, CurveView view, const std::vector<StoredCurve>& curves)
{
    CurveAxes axes = LiveAxes(rangeKind(kind, view));
    for (const StoredCurve& curve : curves)
        for (const QPointF& p : curve.trace) {
            axes.xMin = std::min(axes.xMin, std::floor(p.x()));
            axes.xMax = std::max(axes.xMax, std::ceil(p.x()));
            axes.yMin = std::min(axes.yMin, std::floor(p.y()));
            axes.yMax = std::max(axes.yMax, std::ceil(p.y()));
        }
    return axes;
}

QPointF CurveGeometry::Map(double x, double y) const
{
    return QPointF(area.left() + (x - axes.xMin) / (axes.xMax - axes.xMin) * area.width(),
                   area.bottom() - (y - axes.yMin) / (axes.yMax - axes.yMin) * area.height());
}

QColor WaveColor()
{
    return fromColorRef(Settings().waveColor);
}

QColor CurveColor(int index, bool shown)
{
    if (shown)
        return WaveColor();
    static const QColor others[] = {QColor(0x2E, 0x8B, 0x57), QColor(0xD2, 0x69, 0x1E),
                                    QColor(0x80, 0x40, 0xA0), QColor(0x1E, 0x90, 0xC0),
                                    QColor(0xB0, 0x30, 0x60), QColor(0x70, 0x70, 0x20)};
    return others[std::size_t(std::max(index, 0)) % std::size(others)];
}

std::vector<StoredCurve> StoredCurves(CurveView view, const DayTestList& tests,
                                      const StoredPlotOptions& options)
{
    std::vector<StoredCurve> curves;
    const int count = int(tests.size());
    const int shown =
        options.shownIndex >= 0 && options.shownIndex < count ? options.shownIndex : count - 1;
    for (int i = 0; i < count; ++i) {
        if (options.singleLoop && i != shown)
            continue;
        const DayTest& test = tests[std::size_t(i)];
        StoredCurve curve;
        curve.trace = CurveTrace(view, ReplayTest(test.file.header, test.file.samples));
        curve.number = i + 1;
        curve.color = CurveColor(i, i == shown);
        curves.push_back(std::move(curve));
    }
    return curves;
}

CurvePlot::CurvePlot(int kind) : m_kind(kind), m_view(DefaultView(kind)) {}

void CurvePlot::Clear()
{
    m_scrollSteps = 0;
    m_lastPosition = QPointF();
}

CurveGeometry CurvePlot::LiveGeometry(const QRectF& rect, const CurvePoint* points, int count,
                                      const ManeuverResult* predicted, double fontSize)
{
    CurveTrace(m_view, points, count, m_trace, &m_blowStarts);
    const std::vector<QPointF>& trace = m_trace;
    CurveAxes axes =
        m_view == DefaultView(m_kind) ? LiveAxes(m_kind) : LiveAxes(rangeKind(m_kind, m_view));
    // Scroll by whole grid steps until the last point is in view.
    const double lastX = trace.back().x();
    while (lastX > axes.xMax + m_scrollSteps * kCurveGridStep)
        ++m_scrollSteps;
    while (lastX < axes.xMin + m_scrollSteps * kCurveGridStep)
        --m_scrollSteps;
    axes.xMin += m_scrollSteps * kCurveGridStep;
    axes.xMax += m_scrollSteps * kCurveGridStep;

    CurveGeometry g = frameGeometry(rect, axes, m_view, fontSize);
    if (predicted && TestTypeOfKind(m_kind) == kTestFvc) {
        addPredicted(g, *predicted, Settings().predicted);
        addTargets(g, *predicted);
    }
    if (count > 0) {
        // FVC: each blow in its own colour, the one under way in the wave colour.
        if (TestTypeOfKind(m_kind) != kTestFvc)
            m_blowStarts.clear();
        if (m_blowStarts.empty() || m_blowStarts.front() != 0)
            m_blowStarts.insert(m_blowStarts.begin(), 0);
        // A session has eight blows; breaths beyond them share the first
        // colour, so that one trace keeps thinning them to their pixels.
        if (int(m_blowStarts.size()) > kColouredBlows)
            m_blowStarts.erase(m_blowStarts.begin() + 1, m_blowStarts.end() - (kColouredBlows - 1));
        const int blows = int(m_blowStarts.size());
        for (int b = 0; b < blows; ++b) {
            const auto from = trace.begin() + m_blowStarts[b];
            const auto to = b + 1 < blows ? trace.begin() + m_blowStarts[b + 1] + 1 : trace.end();
            const std::vector<QPointF> part(from, to);
            const QColor color = CurveColor(b, b == blows - 1);
            g.traces.push_back(m_view == CurveView::FlowVolume ? mapLoopTrace(g, part, color)
                                                               : mapTrace(g, part, color));
        }
        m_lastPosition = g.Map(trace.back().x(), trace.back().y());
    }
    return g;
}

namespace {
void paintCurveParts(QPainter& painter, const CurveGeometry& g, bool frame, bool curves);
bool sameFrame(const CurveGeometry& a, const CurveGeometry& b);
} // namespace

void CurvePlot::DrawLive(QPainter& painter, const QRectF& rect, const CurvePointList& list,
                         const ManeuverResult* predicted)
{
    // Only the geometry is built under the lock; stroking happens after it is released.
    CurveGeometry g;
    list.WithPoints([&](const std::vector<CurvePoint>& points) {
        g = LiveGeometry(rect, points.data(), int(points.size()), predicted);
    });
    // On screen the frame (grid, axes, labels) is painted once per view and
    // kept as an image until the view scrolls or resizes; every 10 ms only the
    // curve is stroked over it.
    const bool raster =
        painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Raster;
    if (!raster || painter.worldTransform().type() > QTransform::TxTranslate) {
        PaintCurveGeometry(painter, g);
        return;
    }
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const std::uint32_t reference = Settings().refColor;
    if (m_frame.isNull() || m_frameRatio != ratio || m_frameReference != reference ||
        !sameFrame(m_frameGeometry, g)) {
        m_frame = QImage((rect.size() * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_frame.setDevicePixelRatio(ratio);
        m_frame.fill(Qt::transparent);
        QPainter framePainter(&m_frame);
        framePainter.translate(-rect.topLeft());
        paintCurveParts(framePainter, g, true, false);
        m_frameGeometry = g;
        m_frameGeometry.traces.clear();
        m_frameRatio = ratio;
        m_frameReference = reference;
    }
    painter.drawImage(rect.topLeft(), m_frame);
    paintCurveParts(painter, g, false, true);
}

CurveGeometry CurvePlot::StoredGeometry(const QRectF& rect, const std::vector<StoredCurve>& curves,
                                        const StoredPlotOptions& options) const
{
    CurveGeometry g =
        frameGeometry(rect, FittedAxes(m_kind, m_view, curves), m_view, options.fontSize);
    if (options.predicted && TestTypeOfKind(m_kind) == kTestFvc)
        addPredicted(g, *options.predicted, options.predictedStyle);
    const char* name = legendName(m_kind);
    for (std::size_t i = 0; i < curves.size(); ++i) {
        g.traces.push_back(mapTrace(g, curves[i].trace, curves[i].color));
        if (name) {
            const QPointF at(g.area.right() - 0.4 * g.fontSize,
                             g.area.top() + (double(i) + 0.3) * 1.25 * g.fontSize);
            g.legend.push_back({at, QString(name) + QString::number(curves[i].number),
                                Qt::AlignRight | Qt::AlignTop, curves[i].color});
        }
    }
    return g;
}

void CurvePlot::DrawStored(QPainter& painter, const QRectF& rect, const DayTestList& tests,
                           const StoredPlotOptions& options) const
{
    PaintCurveGeometry(painter,
                       StoredGeometry(rect, StoredCurves(m_view, tests, options), options));
}

namespace {
// The frame (area, grid, predicted values, axes, labels) and the curves
// (traces, legend) of a geometry; both in the order a single paint uses.
void paintCurveParts(QPainter& painter, const CurveGeometry& g, bool frame, bool curves)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double f = g.fontSize;
    if (frame) {
        painter.fillRect(g.area, Qt::white);

        QPen gridPen(QColor(0xD8, 0xD8, 0xD8));
        gridPen.setWidthF(f / 20.0);
        painter.strokePath(g.grid, gridPen);

        const QColor reference = fromColorRef(Settings().refColor);
        if (!g.predictedArea.isEmpty()) {
            QColor fill = reference;
            fill.setAlpha(70);
            painter.fillPath(g.predictedArea, fill);
        }
        if (!g.predictedPoints.isEmpty()) {
            QPen pen(reference);
            pen.setWidthF(f / 7.0);
            painter.strokePath(g.predictedPoints, pen);
        }

        QPen axesPen(Qt::black);
        axesPen.setWidthF(f / 12.0);
        painter.strokePath(g.axesPath, axesPen);
    }

    painter.setClipRect(g.area);
    // On screen a one-pixel cosmetic pen (two on a high-density screen) strokes
    // tens of thousands of vertices in a few milliseconds, where a wide pen
    // takes ten times as long; printers and PDF files get the scalable line.
    const bool raster =
        painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Raster;
    for (const PlotTrace& trace : curves ? g.traces : std::vector<PlotTrace>()) {
        QPen pen(trace.color);
        pen.setJoinStyle(Qt::RoundJoin);
        if (raster) {
            pen.setCosmetic(true);
            pen.setWidthF(painter.device() && painter.device()->devicePixelRatio() >= 2 ? 2.0
                                                                                        : 1.0);
        } else {
            pen.setWidthF(f / 7.0);
        }
        painter.strokePath(trace.path, pen);
    }
    painter.setClipping(false);

    painter.setFont(ReportFont(int(std::lround(f))));
    const double big = 1000 * f; // room for a label around its anchor
    auto drawLabel = [&](const PlotLabel& label) {
        QRectF box(label.pos.x() - big, label.pos.y() - big, 2 * big, 2 * big);
        if (label.align & Qt::AlignLeft)
            box.moveLeft(label.pos.x());
        if (label.align & Qt::AlignRight)
            box.moveRight(label.pos.x());
        if (label.align & Qt::AlignTop)
            box.moveTop(label.pos.y());
        if (label.align & Qt::AlignBottom)
            box.moveBottom(label.pos.y());
        painter.setPen(label.color);
        painter.drawText(box, label.align, label.text);
    };
    if (frame)
        for (const PlotLabel& label : g.labels)
            drawLabel(label);
    if (curves)
        for (const PlotLabel& label : g.legend)
            drawLabel(label);
    painter.restore();
}

bool sameLabels(const std::vector<PlotLabel>& a, const std::vector<PlotLabel>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].pos != b[i].pos || a[i].text != b[i].text || a[i].align != b[i].align ||
            a[i].color != b[i].color)
            return false;
    return true;
}

// Two geometries whose frames paint the same pixels.
bool sameFrame(const CurveGeometry& a, const CurveGeometry& b)
{
    return a.rect == b.rect && a.area == b.area && a.fontSize == b.fontSize && a.grid == b.grid &&
           a.axesPath == b.axesPath && a.predictedPoints == b.predictedPoints &&
           a.predictedArea == b.predictedArea && sameLabels(a.labels, b.labels);
}
} // namespace

void PaintCurveGeometry(QPainter& painter, const CurveGeometry& g)
{
    paintCurveParts(painter, g, true, true);
}
