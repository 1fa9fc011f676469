#include "gui/measure/curve_plot_widget.h"

#include <QPaintEvent>
#include <QPainter>

CurvePlotWidget::CurvePlotWidget(int kind, QWidget* parent) : QWidget(parent), m_plot(kind)
{
    setObjectName(QString("curvePlot%1").arg(kind));
    setMinimumSize(120, 90);
    // The painter fills its own plotting area; the frame around it is white too.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_timer.setInterval(kLiveIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void CurvePlotWidget::SetView(CurveView view)
{
    if (view == m_plot.View())
        return;
    m_plot.SetView(view);
    m_plot.Clear();
    rebuildCurves();
    update();
}

void CurvePlotWidget::StartLive()
{
    if (IsLiveKind(Kind()))
        m_timer.start();
}

void CurvePlotWidget::StopLive()
{
    m_timer.stop();
    update(); // the last points still reach the screen
}

void CurvePlotWidget::Clear()
{
    m_plot.Clear();
    update();
}

void CurvePlotWidget::SetPredicted(const ManeuverResult* predicted)
{
    m_predicted = predicted;
    update();
}

void CurvePlotWidget::SetTests(DayTestList tests, const StoredPlotOptions& options)
{
    m_tests = std::move(tests);
    m_options = options;
    rebuildCurves();
    update();
}

void CurvePlotWidget::SetOptions(const StoredPlotOptions& options)
{
    const bool sameCurves =
        options.singleLoop == m_options.singleLoop && options.shownIndex == m_options.shownIndex;
    m_options = options;
    if (!sameCurves)
        rebuildCurves();
    update();
}

void CurvePlotWidget::rebuildCurves()
{
    m_curves.clear();
    if (!IsLiveKind(Kind()))
        m_curves = StoredCurves(m_plot.View(), m_tests, m_options);
}

CurveGeometry CurvePlotWidget::BuildGeometry(const QRectF& rect)
{
    if (!IsLiveKind(Kind()))
        return m_plot.StoredGeometry(rect, m_curves, m_options);
    CurveGeometry g;
    if (!m_list)
        return m_plot.LiveGeometry(rect, nullptr, 0, m_predicted);
    m_list->WithPoints([&](const std::vector<CurvePoint>& points) {
        g = m_plot.LiveGeometry(rect, points.data(), int(points.size()), m_predicted);
    });
    return g;
}

void CurvePlotWidget::PaintInto(QPainter& painter, const QRectF& rect)
{
    painter.fillRect(rect, Qt::white);
    // The geometry is built under the plot lock; stroking runs after it is released.
    PaintCurveGeometry(painter, BuildGeometry(rect));
}

void CurvePlotWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintInto(painter, QRectF(rect()));
    ++m_paintCount;
}
