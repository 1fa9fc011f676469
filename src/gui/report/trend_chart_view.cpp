#include "gui/report/trend_chart_view.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {
constexpr double kPickRadius = 8.0;
constexpr double kFontSize = 11.0; // labels keep their size when the chart is zoomed
}

TrendChartView::TrendChartView(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(300, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TrendChartView::SetSeries(const TrendSeries& series)
{
    m_series = series;
    m_selected = -1;
    update();
}

void TrendChartView::SetZoom(double x, double y)
{
    // Zoom about the middle of what is shown, not about its top-left corner.
    const double centreX = (m_offsetX + width() / 2.0) / (width() * m_zoomX);
    const double centreY = (m_offsetY + height() / 2.0) / (height() * m_zoomY);
    m_zoomX = qBound(1.0, x, 16.0);
    m_zoomY = qBound(1.0, y, 16.0);
    SetOffset(int(centreX * width() * m_zoomX - width() / 2.0),
              int(centreY * height() * m_zoomY - height() / 2.0));
}

int TrendChartView::MaxOffsetX() const
{
    return int(width() * (m_zoomX - 1));
}
int TrendChartView::MaxOffsetY() const
{
    return int(height() * (m_zoomY - 1));
}

void TrendChartView::SetOffset(int x, int y)
{
    m_offsetX = qBound(0, x, MaxOffsetX());
    m_offsetY = qBound(0, y, MaxOffsetY());
    update();
}

// The zoom and the offsets choose the part of the data shown; the axes stay in the widget.
TrendChart TrendChartView::chart() const
{
    const double w = qMax(1, width()), h = qMax(1, height());
    const QRectF window(m_offsetX / (w * m_zoomX), m_offsetY / (h * m_zoomY), 1 / m_zoomX,
                        1 / m_zoomY);
    return BuildTrendChart(m_series, QRectF(rect()), kFontSize, window);
}

QPointF TrendChartView::PointPosition(int i) const
{
    const TrendChart c = chart();
    return i >= 0 && i < int(c.marks.size()) ? c.marks[size_t(i)] : QPointF();
}

int TrendChartView::PointAt(const QPoint& pos) const
{
    const TrendChart c = chart();
    int best = -1;
    double bestDistance = kPickRadius;
    for (int i = 0; i < int(c.marks.size()); ++i) {
        const QPointF d = c.marks[size_t(i)] - QPointF(pos);
        const double distance = std::hypot(d.x(), d.y());
        if (distance <= bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

void TrendChartView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.setClipRect(rect());
    painter.setRenderHint(QPainter::Antialiasing);
    const TrendChart c = chart();
    PaintTrendChart(painter, c, m_series.parameter);
    if (m_selected >= 0 && m_selected < int(c.marks.size())) {
        const QPointF at = c.marks[size_t(m_selected)];
        painter.setPen(QPen(Qt::black, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(at, 6, 6);
        painter.drawText(at + QPointF(8, -8), m_series.Label(m_selected));
    }
}

// A point is selected when the button goes down and comes up on it.
void TrendChartView::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton ? PointAt(event->position().toPoint()) : -1;
}

void TrendChartView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int index = PointAt(event->position().toPoint());
    if (index >= 0 && index == m_pressed) {
        m_selected = index;
        update();
        emit pointSelected(index);
    }
    m_pressed = -1;
}
