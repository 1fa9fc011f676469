#pragma once
#include "core/report/trend_series.h"

#include <QWidget>

// The chart area of the trend dialog: one series drawn by the core's trend
// chart, enlarged by a zoom factor per axis and moved by the dialog's sliders.
// A click selects the nearest point.
class TrendChartView : public QWidget {
    Q_OBJECT
  public:
    explicit TrendChartView(QWidget* parent = nullptr);

    void SetSeries(const TrendSeries& series);
    const TrendSeries& Series() const { return m_series; }

    // Zoom of the chart relative to the area (1 = fits), per axis.
    void SetZoom(double x, double y);
    double ZoomX() const { return m_zoomX; }
    double ZoomY() const { return m_zoomY; }
    // How far the enlarged chart is moved (pixels); limited to what the zoom allows.
    void SetOffset(int x, int y);
    int OffsetX() const { return m_offsetX; }
    int OffsetY() const { return m_offsetY; }
    int MaxOffsetX() const;
    int MaxOffsetY() const;

    int SelectedPoint() const { return m_selected; }
    // The point drawn nearest to `pos` (within a few pixels), -1 for none.
    int PointAt(const QPoint& pos) const;
    // Where point `i` is drawn now.
    QPointF PointPosition(int i) const;

  signals:
    void pointSelected(int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    TrendChart chart() const;

    TrendSeries m_series;
    double m_zoomX = 1;
    double m_zoomY = 1;
    int m_offsetX = 0;
    int m_offsetY = 0;
    int m_selected = -1;
    int m_pressed = -1;
};
