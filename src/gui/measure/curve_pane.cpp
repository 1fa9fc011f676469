#include "curve_pane.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
const char* const kTitles[] = {"FVC", "VC", "MVV"};
}

CCurvePane::CCurvePane(int testType, QWidget* parent)
    : QFrame(parent), m_testType(testType), m_title(kTitles[qBound(0, testType, 2)])
{
    setObjectName(QString("pane%1").arg(kTitles[qBound(0, testType, 2)]));
    setFrameShape(QFrame::Box);
    setMouseTracking(true);
    setMinimumSize(160, 120);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void CCurvePane::SetTestCount(int count)
{
    m_testCount = count;
    if (count == 0)
        setHighlighted(false);
    update();
}

QRect CCurvePane::DetailsSpot(int testType, const QSize& size)
{
    const int w = size.width();
    const int h = size.height();
    if (testType == 0)
        return QRect(QPoint(w - w / 3, h / 30), QPoint(w - w / 10, h / 7));
    return QRect(QPoint(w - w / 5, h / 30), QPoint(w - w / 20, h / 15));
}

void CCurvePane::setHighlighted(bool on)
{
    if (on == m_highlighted)
        return;
    m_highlighted = on;
    if (on)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    update();
}

void CCurvePane::mouseMoveEvent(QMouseEvent* event)
{
    setHighlighted(m_spotEnabled && m_testCount > 0 &&
                   DetailsSpot(m_testType, size()).contains(event->pos()));
    QFrame::mouseMoveEvent(event);
}

void CCurvePane::leaveEvent(QEvent* event)
{
    setHighlighted(false);
    QFrame::leaveEvent(event);
}

void CCurvePane::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_highlighted)
        emit detailsClicked(m_testType);
    QFrame::mouseReleaseEvent(event);
}

void CCurvePane::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor(60, 60, 60));
    painter.drawText(rect().adjusted(8, 6, -8, -6), Qt::AlignLeft | Qt::AlignTop, m_title);
    if (m_testCount <= 0 || !m_spotEnabled)
        return;
    const QRect spot = DetailsSpot(m_testType, size());
    painter.setPen(m_highlighted ? QColor(0, 90, 200) : QColor(120, 120, 120));
    if (m_highlighted)
        painter.fillRect(spot, QColor(220, 235, 255));
    painter.drawRect(spot.adjusted(0, 0, -1, -1));
    painter.drawText(spot, Qt::AlignCenter, ">>");
    painter.setPen(QColor(90, 90, 90));
    painter.drawText(rect(), Qt::AlignCenter,
                     QString("%1 x %2").arg(m_testCount).arg(kTitles[qBound(0, m_testType, 2)]));
}
