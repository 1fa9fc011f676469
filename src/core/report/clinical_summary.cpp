#include "core/report/clinical_summary.h"

#include "core/app/lang_text.h"
#include "core/records/schema_upgrade.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kBarLow = -5.0, kBarHigh = 3.0;

QString text(int id) { return GetLangText("CLINICAL", id); }

SummaryCell cellOf(const ReportedValues& phase, const QString& name)
{
    SummaryCell c;
    const ReferencedValue* v = phase.Find(name);
    if (!v)
        return c;
    c.present = true;
    c.value = v->value;
    c.usableOnly = v->usableOnly;
    c.grade = name == "FEV1" ? phase.fev1Grade : name == "FVC" ? phase.fvcGrade : 0;
    if (v->Referenced()) {
        c.reference.available = true;
        c.reference.value = v->value;
        c.reference.pred = v->reference.M;
        c.reference.lln = v->reference.lln;
        c.reference.z = v->reference.zScore(v->value);
        c.reference.percentPredicted = v->reference.percentPredicted(v->value);
        c.reference.severity = SeverityOfZ(c.reference.z);
    }
    return c;
}

} // namespace

double ZBarPosition(double z, double width)
{
    const double clamped = std::clamp(std::isfinite(z) ? z : kBarLow, kBarLow, kBarHigh);
    return (clamped - kBarLow) / (kBarHigh - kBarLow) * width;
}

ClinicalSummary BuildClinicalSummary(const DaySessionReport& day)
{
    ClinicalSummary summary;
    summary.setName = day.set ? text(*day.set == GliSet::Gli2012 ? 2560 : 2561) : QString();
    const PhaseValues* first = day.phases.empty() ? nullptr : &day.phases.front();
    const PhaseValues* post = day.phases.size() > 1 ? &day.phases[1] : nullptr;
    summary.firstPhase = first ? first->phase : kPhasePre;
    summary.hasPost = post != nullptr;
    QStringList names = {"FEV1", "FVC", "FEV1/FVC"};
    for (const PhaseValues* phase : {first, post})
        if (phase)
            for (const auto& [name, value] : phase->reported.values)
                if (!names.contains(name))
                    names << name;
    for (const QString& name : names) {
        SummaryRow r;
        r.name = name;
        if (first)
            r.pre = cellOf(first->reported, name);
        if (post)
            r.post = cellOf(post->reported, name);
        summary.rows.push_back(r);
    }
    if (day.bdr) {
        summary.rows[0].change = day.bdr->fev1;
        summary.rows[1].change = day.bdr->fvc;
    }
    summary.interpretation = day.interpretation;
    summary.note = day.interpretationNote;
    return summary;
}

double PaintClinicalSummary(QPainter& painter, const QRectF& rect, const ClinicalSummary& s)
{
    painter.save();
    const QFontMetricsF metrics(painter.font());
    const double line = metrics.height() * 1.35;
    double y = rect.top();
    const auto number = [](double v, int decimals) { return QString::number(v, 'f', decimals); };
    // Columns: name | measured pred LLN z %pred grade | bar, for pre then post.
    const QStringList heads = {"", text(2570), text(2571), text(2572), text(2573), text(2574), text(2575)};
    const double nameWidth = rect.width() * 0.10;
    const double barWidth = rect.width() * 0.26;
    const int phases = s.hasPost ? 2 : 1;
    const double cellWidth = (rect.width() - nameWidth - barWidth) / (6.0 * phases);
    painter.drawText(QRectF(rect.left(), y, rect.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                     text(2562) + " " + (s.setName.isEmpty() ? QString("-") : s.setName));
    y += line;
    for (int phase = 0; phase < phases; ++phase) {
        const double x0 = rect.left() + nameWidth + phase * 6 * cellWidth;
        const bool postColumn = phase == 1 || s.firstPhase == kPhasePost;
        painter.drawText(QRectF(x0, y, 6 * cellWidth, line), Qt::AlignCenter, text(postColumn ? 2551 : 2550));
        for (int c = 1; c < heads.size(); ++c)
            painter.drawText(QRectF(x0 + (c - 1) * cellWidth, y + line, cellWidth, line), Qt::AlignCenter, heads[c]);
    }
    const double barLeft = rect.right() - barWidth;
    painter.drawText(QRectF(barLeft, y + line, barWidth, line), Qt::AlignCenter, "-5 ... z ... +3");
    y += 2 * line;
    for (std::size_t row = 0; row < s.rows.size(); ++row) {
        const SummaryRow& r = s.rows[row];
        painter.drawText(QRectF(rect.left(), y, nameWidth, line), Qt::AlignLeft | Qt::AlignVCenter, r.name);
        const bool ratio = r.name == "FEV1/FVC";
        for (int phase = 0; phase < phases; ++phase) {
            const SummaryCell& c = phase == 0 ? r.pre : r.post;
            const double x0 = rect.left() + nameWidth + phase * 6 * cellWidth;
            QStringList cells(6);
            if (c.present) {
                cells[0] = number(c.value, ratio ? 3 : 2) + (c.usableOnly ? "*" : "");
                if (c.reference.available) {
                    cells[1] = number(c.reference.pred, ratio ? 3 : 2);
                    cells[2] = number(c.reference.lln, ratio ? 3 : 2);
                    cells[3] = number(c.reference.z, 2);
                    cells[4] = number(c.reference.percentPredicted, 0);
                }
                if (c.grade)
                    cells[5] = QString(QChar(c.grade));
            }
            for (int k = 0; k < 6; ++k)
                painter.drawText(QRectF(x0 + k * cellWidth, y, cellWidth, line), Qt::AlignCenter, cells[k]);
        }
        if (row >= std::size_t(ClinicalSummary::kBarRows)) {
            y += line;
            continue;
        }
        // The bar: the scale, the LLN line at -1.645, a mark for each phase.
        const QRectF bar(barLeft + 4, y + line * 0.25, barWidth - 8, line * 0.5);
        painter.setPen(QPen(Qt::gray, 0.8));
        painter.drawRect(bar);
        const double lln = bar.left() + ZBarPosition(kLlnZ, bar.width());
        const double zero = bar.left() + ZBarPosition(0, bar.width());
        painter.fillRect(QRectF(bar.left(), bar.top(), lln - bar.left(), bar.height()), QColor(240, 200, 200));
        painter.setPen(QPen(Qt::red, 1.2));
        painter.drawLine(QPointF(lln, bar.top() - 2), QPointF(lln, bar.bottom() + 2));
        painter.setPen(QPen(Qt::gray, 0.8, Qt::DashLine));
        painter.drawLine(QPointF(zero, bar.top()), QPointF(zero, bar.bottom()));
        for (int phase = 0; phase < phases; ++phase) {
            const SummaryCell& c = phase == 0 ? r.pre : r.post;
            if (!c.reference.available)
                continue;
            const double x = bar.left() + ZBarPosition(c.reference.z, bar.width());
            painter.setPen(Qt::NoPen);
            painter.setBrush(phase == 0 ? QColor(30, 60, 160) : QColor(20, 140, 60));
            painter.drawEllipse(QPointF(x, bar.center().y()), bar.height() * 0.45, bar.height() * 0.45);
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black));
        y += line;
    }
    {
        for (int row = 0; row < 2; ++row) {
            const BronchodilatorChange& c = s.rows[row].change;
            if (!c.available)
                continue;
            painter.drawText(QRectF(rect.left(), y, rect.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                             QString("%1  %2: %3 L   %4: %5 %   %6: %7 %   %8")
                                 .arg(s.rows[row].name, text(2553), number(c.litres, 2), text(2554),
                                      number(c.percent, 1), text(2555), number(c.percentPredicted, 1),
                                      text(c.significant ? 2556 : 2557)));
            y += line;
        }
    }
    painter.restore();
    return y - rect.top();
}

double PaintManeuverTable(QPainter& painter, const QRectF& rect, const DaySessionReport& day)
{
    painter.save();
    const QFontMetricsF metrics(painter.font());
    const double line = metrics.height() * 1.3;
    const auto number = [](double v, int decimals) {
        return std::isfinite(v) ? QString::number(v, 'f', decimals) : QString("-");
    };
    const auto verdict = [](bool acceptable, bool usable) {
        return text(acceptable ? 2578 : usable ? 2579 : 2580);
    };
    // Phase and number | FVC FEV1 PEF BEV FET hesitation | FEV1 FVC | reasons
    const double widths[] = {0.08, 0.06, 0.06, 0.06, 0.06, 0.06, 0.07, 0.09, 0.09, 0.37};
    const QStringList heads = {"#", "FVC", "FEV1", "PEF", "BEV", "FET", text(2587), "FEV1", "FVC", ""};
    const auto row = [&](double y, const QStringList& cells) {
        double x = rect.left();
        for (int c = 0; c < cells.size(); ++c) {
            const double w = widths[c] * rect.width();
            painter.drawText(QRectF(x, y, w, line), (c == 9 ? Qt::AlignLeft : Qt::AlignCenter) | Qt::AlignVCenter,
                             metrics.elidedText(cells[c], Qt::ElideRight, w - 2));
            x += w;
        }
    };
    double y = rect.top();
    row(y, heads);
    y += line;
    painter.drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
    int left = 0;
    for (const StoredSession& s : day.sessions) {
        for (std::size_t m = 0; m < s.maneuvers.size(); ++m) {
            if (y + 2 * line > rect.bottom()) {
                ++left;
                continue;
            }
            const StoredManeuver& blow = s.maneuvers[m];
            const ManeuverAcceptability& a = s.assessment.maneuvers[m];
            QStringList reasons;
            for (ManeuverFinding finding : a.findings)
                reasons << FindingText(finding);
            const ManeuverResult& r = blow.file.record;
            row(y, {text(s.phase == kPhasePost ? 2551 : 2550) + " " + QString::number(blow.maneuver),
                    number(r.FVC, 2), number(r.FEV1, 2), number(r.PEF, 2), number(blow.measures.bev, 3),
                    number(blow.measures.fet, 1), number(blow.measures.hesitation, 2),
                    verdict(a.acceptableFev1, a.usableFev1), verdict(a.acceptableFvc, a.usableFvc),
                    reasons.join("; ")});
            y += line;
        }
        const ParameterGrade& fev1 = s.assessment.fev1Grade;
        const ParameterGrade& fvc = s.assessment.fvcGrade;
        if (y + 2 * line <= rect.bottom()) {
            painter.drawText(QRectF(rect.left(), y, rect.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                             text(2575) + ": FEV1 " + QChar(fev1.grade) + ", FVC " + QChar(fvc.grade));
            y += line;
        }
    }
    if (left > 0) {
        painter.drawText(QRectF(rect.left(), y, rect.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                         QString("+ %1").arg(left));
        y += line;
    }
    painter.restore();
    return y - rect.top();
}
