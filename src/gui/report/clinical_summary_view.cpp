#include "gui/report/clinical_summary_view.h"

#include <QPainter>

#include <algorithm>

namespace {
// Set name, two heading lines, the parameters (three at least), two change lines.
int linesOf(const ClinicalSummary& summary)
{
    return 3 + std::max(3, int(summary.rows.size())) + 2;
}
} // namespace

ClinicalSummaryView::ClinicalSummaryView(QWidget* parent) : QWidget(parent)
{
    setMinimumHeight(sizeHint().height());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ClinicalSummaryView::SetSummary(const ClinicalSummary& summary)
{
    m_summary = summary;
    setMinimumHeight(sizeHint().height());
    updateGeometry();
    update();
}

QSize ClinicalSummaryView::sizeHint() const
{
    return QSize(520, int(fontMetrics().height() * 1.35 * linesOf(m_summary)) + 4);
}

void ClinicalSummaryView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    PaintClinicalSummary(painter, QRectF(rect()).adjusted(2, 2, -2, -2), m_summary);
}
