#include "gui/measure/curve_pane.h"

#include "core/app/system_settings.h"
#include "core/report/day_result.h"

#include <QDate>

#include <QMouseEvent>
#include <QPainter>

namespace {
const char* const kTitles[] = {"FVC", "VC", "MVV"};
}

CurvePane::CurvePane(int testType, QWidget* parent)
    : CurvePlotWidget(KindOf(testType), parent), m_testType(qBound(0, testType, 2)),
      m_title(kTitles[qBound(0, testType, 2)])
{
    setObjectName(QString("pane%1").arg(kTitles[m_testType]));
    setMouseTracking(true);
    setMinimumSize(160, 120);
}

int CurvePane::KindOf(int testType)
{
    switch (testType) {
    case kTestVc:
        return kCurveVcResult;
    case kTestMvv:
        return kCurveMvvResult;
    default:
        return kCurveFvcResult;
    }
}

void CurvePane::SetTestCount(int count)
{
    m_testCount = count;
    if (count == 0)
        setHighlighted(false);
    update();
}

void CurvePane::LoadDay(Database& db, int patientId, const QString& day,
                         const ManeuverResult* predicted, bool singleLoop)
{
    DayResult result;
    if (patientId > 0 && !day.isEmpty())
        LoadDayResult(db, patientId, QDate::fromString(day, "yyyy-MM-dd"), result);
    ShowDay(result, predicted, singleLoop);
}

void CurvePane::ShowDay(const DayResult& result, const ManeuverResult* predicted, bool singleLoop)
{
    // The day's plausible tests, the one its results come from shown first.
    DayTestList tests = m_testType == kTestVc ? result.vc : m_testType == kTestMvv ? result.mvv : result.fvc;
    StoredPlotOptions options;
    if (m_testType == kTestFvc)
        options.shownIndex = result.phases.empty() ? -1 : result.phases.front().flowsTest;
    else
        options.shownIndex = (m_testType == kTestVc ? result.vcResult : result.mvvResult).bestTest;
    options.singleLoop = singleLoop;
    options.predicted = m_testType == kTestFvc ? predicted : nullptr;
    options.predictedStyle = Settings().predicted;
    SetTests(std::move(tests), options);
}

QRect CurvePane::DetailsSpot(int testType, const QSize& size)
{
    const int w = size.width();
    const int h = size.height();
    if (testType == 0)
        return QRect(QPoint(w - w / 3, h / 30), QPoint(w - w / 10, h / 7));
    return QRect(QPoint(w - w / 5, h / 30), QPoint(w - w / 20, h / 15));
}

void CurvePane::setHighlighted(bool on)
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

void CurvePane::mouseMoveEvent(QMouseEvent* event)
{
    setHighlighted(m_spotEnabled && m_testCount > 0 &&
                   DetailsSpot(m_testType, size()).contains(event->pos()));
    CurvePlotWidget::mouseMoveEvent(event);
}

void CurvePane::leaveEvent(QEvent* event)
{
    setHighlighted(false);
    CurvePlotWidget::leaveEvent(event);
}

void CurvePane::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_highlighted)
        Q_EMIT detailsClicked(m_testType);
    CurvePlotWidget::mouseReleaseEvent(event);
}

void CurvePane::paintEvent(QPaintEvent* event)
{
    CurvePlotWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    QFont font("Arial");
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(40, 40, 40));
    // Centred: the plot's axis name takes the top left corner.
    painter.drawText(rect().adjusted(8, 4, -8, -4), Qt::AlignHCenter | Qt::AlignTop, m_title);
    if (m_testCount <= 0 || !m_spotEnabled)
        return;
    // The spot: an outline at the top right (the legend shows through), lit
    // while the pointer is on it.
    const QRect spot = DetailsSpot(m_testType, size());
    if (m_highlighted)
        painter.fillRect(spot, QColor(0, 90, 200, 40));
    painter.setPen(QPen(m_highlighted ? QColor(0, 90, 200) : QColor(150, 150, 150), 1,
                        m_highlighted ? Qt::SolidLine : Qt::DotLine));
    painter.drawRect(spot.adjusted(0, 0, -1, -1));
    font.setBold(false);
    painter.setFont(font);
    painter.drawText(spot.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, ">>");
}
