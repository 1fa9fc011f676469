#include "stored_curve_view.h"

#include <QPainter>

CStoredCurveView::CStoredCurveView(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(120, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CStoredCurveView::SetTests(int kind, CurveView view, std::shared_ptr<const DayTestList> tests)
{
    m_plot = CurvePlot(kind);
    m_plot.SetView(view);
    m_tests = std::move(tests);
    update();
}

void CStoredCurveView::SetOptions(const StoredPlotOptions& options)
{
    m_options = options;
    update();
}

void CStoredCurveView::SetTitle(const QString& title)
{
    m_title = title;
    update();
}

void CStoredCurveView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(Qt::gray);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    QRectF area = QRectF(rect()).adjusted(4, 4, -4, -4);
    if (!m_title.isEmpty()) {
        painter.setPen(Qt::black);
        painter.drawText(area, Qt::AlignLeft | Qt::AlignTop, m_title);
        area.setTop(area.top() + painter.fontMetrics().height());
    }
    painter.setRenderHint(QPainter::Antialiasing);
    static const DayTestList kNone;
    m_plot.DrawStored(painter, area, m_tests ? *m_tests : kNone, m_options);
}
