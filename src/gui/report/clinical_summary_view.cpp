#include "gui/report/clinical_summary_view.h"

#include <QPainter>

namespace {
// Set name, two heading lines, three parameters, two change lines.
constexpr int kLines = 8;
} // namespace

CClinicalSummaryView::CClinicalSummaryView(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(sizeHint().height());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CClinicalSummaryView::SetSummary(const ClinicalSummary& summary)
{
    m_summary = summary;
    update();
}

QSize CClinicalSummaryView::sizeHint() const
{
    return QSize(520, int(fontMetrics().height() * 1.35 * kLines) + 4);
}

void CClinicalSummaryView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    PaintClinicalSummary(painter, QRectF(rect()).adjusted(2, 2, -2, -2), m_summary);
}
