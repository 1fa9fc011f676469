#include "core/report/clinical_summary.h"

#include "core/app/lang_text.h"
#include "core/records/schema_upgrade.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kBarLow = -5.0, kBarHigh = 3.0;

QString text(int id) { return GetLangText("CLINICAL", id); }

SummaryCell cellOf(const StoredSession& s, int row, const std::optional<GliSet>& set, const GliSubject& subject,
                   const GliEquations& gli)
{
    const SessionAssessment& a = s.assessment;
    SummaryCell c;
    const GliParameter parameters[] = {GliParameter::FEV1, GliParameter::FVC, GliParameter::FEV1FVC};
    if (row == 0) {
        c.present = a.fev1.present;
        c.value = a.fev1.value;
        c.usableOnly = a.fev1.usableOnly;
        c.grade = a.fev1Grade.grade;
    } else if (row == 1) {
        c.present = a.fvc.present;
        c.value = a.fvc.value;
        c.usableOnly = a.fvc.usableOnly;
        c.grade = a.fvcGrade.grade;
    } else {
        c.present = std::isfinite(a.fev1Fvc());
        c.value = c.present ? a.fev1Fvc() : 0;
        c.usableOnly = a.fev1.usableOnly || a.fvc.usableOnly;
    }
    if (c.present && set) {
        const GliPrediction p = gli.Predict(*set, parameters[row], subject);
        if (p.available) {
            c.reference.available = true;
            c.reference.value = c.value;
            c.reference.pred = p.M;
            c.reference.lln = p.lln;
            c.reference.z = p.zScore(c.value);
            c.reference.percentPredicted = p.percentPredicted(c.value);
            c.reference.severity = SeverityOfZ(c.reference.z);
        }
    }
    return c;
}

} // namespace

double ZBarPosition(double z, double width)
{
    const double clamped = std::clamp(std::isfinite(z) ? z : kBarLow, kBarLow, kBarHigh);
    return (clamped - kBarLow) / (kBarHigh - kBarLow) * width;
}

ClinicalSummary BuildClinicalSummary(const std::vector<StoredSession>& sessions, std::optional<GliSet> set,
                                     const GliSubject& subject, const GliEquations& gli)
{
    ClinicalSummary summary;
    summary.setName = set ? text(*set == GliSet::Gli2012 ? 2560 : 2561) : QString();
    const StoredSession* pre = nullptr;
    const StoredSession* post = nullptr;
    for (const StoredSession& s : sessions) {
        if (s.phase == kPhasePre)
            pre = &s;
        else if (pre)
            post = &s;
    }
    if (!pre && !sessions.empty())
        pre = &sessions.back(); // a day of post sessions only: show them as they are
    summary.hasPost = post != nullptr;
    const char* names[] = {"FEV1", "FVC", "FEV1/FVC"};
    for (int row = 0; row < 3; ++row) {
        SummaryRow& r = summary.rows[row];
        r.name = names[row];
        if (pre)
            r.pre = cellOf(*pre, row, set, subject, gli);
        if (post)
            r.post = cellOf(*post, row, set, subject, gli);
        if (post && row < 2 && r.pre.present && r.post.present && r.pre.reference.available)
            r.change = ChangeAfterBronchodilator(r.pre.value, r.post.value, r.pre.reference.pred);
    }
    if (!set) {
        summary.note = text(2520);
    } else if (pre && summary.rows[0].pre.present && summary.rows[1].pre.present) {
        std::optional<SpirometryValues> after;
        if (post && summary.rows[0].post.present && summary.rows[1].post.present)
            after = SpirometryValues{summary.rows[0].post.value, summary.rows[1].post.value};
        Interpretation i = Interpret(gli, *set, subject, {summary.rows[0].pre.value, summary.rows[1].pre.value}, after);
        if (i.available)
            summary.interpretation = i;
        else
            summary.note = i.unavailableReason;
    }
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
        painter.drawText(QRectF(x0, y, 6 * cellWidth, line), Qt::AlignCenter, text(phase == 0 ? 2550 : 2551));
        for (int c = 1; c < heads.size(); ++c)
            painter.drawText(QRectF(x0 + (c - 1) * cellWidth, y + line, cellWidth, line), Qt::AlignCenter, heads[c]);
    }
    const double barLeft = rect.right() - barWidth;
    painter.drawText(QRectF(barLeft, y + line, barWidth, line), Qt::AlignCenter, "-5 ... z ... +3");
    y += 2 * line;
    for (const SummaryRow& r : s.rows) {
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
    if (s.hasPost) {
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
    return y - rect.top();
}
