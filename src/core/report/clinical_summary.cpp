#include "core/report/clinical_summary.h"

#include "core/app/lang_text.h"
#include "core/records/schema_upgrade.h"
#include "core/report/result_tables.h"

#include <QFontMetricsF>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kBarLow = -5.0, kBarHigh = 3.0;

QString text(int id) { return GetLangText("CLINICAL", id); }

SummaryCell cellOf(const DayResult& day, const ReportedValues& phase, const QString& name)
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
    } else {
        // An older set: its predicted value and percentage where it has an equation.
        const double scale = name == "FEV1/FVC" ? 100.0 : 1.0;
        const ValueReference ref = day.ReferenceOf(name, v->value * scale);
        if (ref.predicted)
            c.predicted = *ref.predicted / scale;
        if (ref.percentPredicted && name != "FEV1/FVC")
            c.percentPredicted = *ref.percentPredicted;
    }
    return c;
}

// A heading whole in its cell: the font shrinks rather than the word being cut.
void drawFitted(QPainter& painter, const QRectF& cell, const QString& text)
{
    QFont font = painter.font();
    const double width = QFontMetricsF(font).horizontalAdvance(text);
    const double room = cell.width() - 2;
    if (width > room && room > 0) {
        const double shrink = room / width;
        if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() * shrink);
        else if (font.pixelSize() > 0)
            font.setPixelSize(std::max(1, int(font.pixelSize() * shrink)));
    }
    painter.save();
    painter.setFont(font);
    painter.drawText(cell, Qt::AlignCenter, text);
    painter.restore();
}

} // namespace

double ZBarPosition(double z, double width)
{
    const double clamped = std::clamp(std::isfinite(z) ? z : kBarLow, kBarLow, kBarHigh);
    return (clamped - kBarLow) / (kBarHigh - kBarLow) * width;
}

bool ZOffScale(double z)
{
    return std::isfinite(z) && (z < kBarLow || z > kBarHigh);
}

ClinicalSummary BuildClinicalSummary(const DayResult& day)
{
    ClinicalSummary summary;
    summary.setName = day.setName;
    summary.referenced = day.set.has_value();
    const PhaseValues* first = day.phases.empty() ? nullptr : &day.phases.front();
    const PhaseValues* post = day.phases.size() > 1 ? &day.phases[1] : nullptr;
    summary.firstPhase = first ? first->phase : kPhasePre;
    summary.hasPost = post != nullptr;
    if (first) {
        summary.firstNote = PhaseGradeText(*first);
        summary.firstWithheld = first->withheld;
    }
    if (post) {
        summary.postNote = PhaseGradeText(*post);
        summary.postWithheld = post->withheld;
    }
    QStringList names = {"FEV1", "FVC", "FEV1/FVC"};
    for (const PhaseValues* phase : {first, post})
        if (phase)
            for (const auto& [name, value] : phase->reported.values)
                if (!names.contains(name))
                    names << name;
    bool starred = false;
    for (const QString& name : names) {
        SummaryRow r;
        r.name = name;
        // A withheld phase shows no values: its grades say why.
        if (first && !first->withheld)
            r.pre = cellOf(day, first->reported, name);
        if (post && !post->withheld)
            r.post = cellOf(day, post->reported, name);
        starred = starred || (r.pre.present && r.pre.usableOnly) || (r.post.present && r.post.usableOnly);
        summary.rows.push_back(r);
    }
    if (day.bdr) {
        summary.rows[0].change = day.bdr->fev1;
        summary.rows[1].change = day.bdr->fvc;
    }
    if (starred)
        summary.footnote = text(2593);
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
    // Pre: measured, pred, LLN, z, %pred, grade. Post (ATS 2017 report): measured, z, %pred,
    // change in mL, change in % predicted, grade.
    const QStringList firstHeads = {text(2570), text(2571), text(2572), text(2573), text(2574), text(2575)};
    const QStringList postHeads = {text(2570), text(2573), text(2574), text(2600), text(2555), text(2575)};
    const double nameWidth = rect.width() * 0.10;
    const double barWidth = rect.width() * 0.24;
    const int phases = s.hasPost ? 2 : 1;
    const double cellWidth = (rect.width() - nameWidth - barWidth) / (6.0 * phases);
    painter.drawText(QRectF(rect.left(), y, rect.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                     text(2562) + " " + s.setName);
    y += line;
    for (int phase = 0; phase < phases; ++phase) {
        const double x0 = rect.left() + nameWidth + phase * 6 * cellWidth;
        const bool postColumn = phase == 1 || s.firstPhase == kPhasePost;
        painter.drawText(QRectF(x0, y, 6 * cellWidth, line), Qt::AlignCenter,
                         metrics.elidedText(text(postColumn ? 2551 : 2550) + " - " + (phase == 0 ? s.firstNote : s.postNote),
                                            Qt::ElideRight, 6 * cellWidth - 4));
        const QStringList& heads = phase == 1 ? postHeads : firstHeads;
        for (int c = 0; c < heads.size(); ++c)
            drawFitted(painter, QRectF(x0 + c * cellWidth, y + line, cellWidth, line), heads[c]);
    }
    const double barLeft = rect.right() - barWidth;
    if (s.referenced)
        painter.drawText(QRectF(barLeft, y + line, barWidth, line), Qt::AlignCenter, "-5 ... z ... +3");
    y += 2 * line;
    for (std::size_t row = 0; row < s.rows.size(); ++row) {
        const SummaryRow& r = s.rows[row];
        painter.drawText(QRectF(rect.left(), y, nameWidth, line), Qt::AlignLeft | Qt::AlignVCenter, r.name);
        // FEV1/FVC in percent, as every table, screen and exchange file of the program shows it.
        const double scale = r.name == "FEV1/FVC" ? 100.0 : 1.0;
        for (int phase = 0; phase < phases; ++phase) {
            const SummaryCell& c = phase == 0 ? r.pre : r.post;
            const bool withheld = phase == 0 ? s.firstWithheld : s.postWithheld;
            const double x0 = rect.left() + nameWidth + phase * 6 * cellWidth;
            QStringList cells(6);
            if (c.present) {
                cells[0] = number(c.value * scale, 2) + (c.usableOnly ? "*" : "");
                if (c.reference.available) {
                    const QString z = number(c.reference.z, 2);
                    const QString percent = number(c.reference.percentPredicted, 0);
                    if (phase == 0)
                        cells[1] = number(c.reference.pred * scale, 2), cells[2] = number(c.reference.lln * scale, 2),
                        cells[3] = z, cells[4] = percent;
                    else
                        cells[1] = z, cells[2] = percent;
                } else {
                    const QString percent = std::isfinite(c.percentPredicted) ? number(c.percentPredicted, 0) : QString();
                    if (phase == 0 && std::isfinite(c.predicted))
                        cells[1] = number(c.predicted * scale, 2);
                    cells[phase == 0 ? 4 : 2] = percent;
                }
                if (phase == 1 && r.change.available) {
                    cells[3] = QString::number(std::lround(r.change.litres * 1000.0));
                    cells[4] = number(r.change.percentPredicted, 1);
                }
                if (c.grade)
                    cells[5] = QString(QChar(c.grade));
            } else {
                cells[0] = withheld ? kMissingText : QString();
            }
            for (int k = 0; k < 6; ++k)
                painter.drawText(QRectF(x0 + k * cellWidth, y, cellWidth, line), Qt::AlignCenter, cells[k]);
        }
        if (row >= std::size_t(ClinicalSummary::kBarRows) || !s.referenced) {
            y += line;
            continue;
        }
        // The bar: the scale, the LLN line at -1.645, a mark for each phase.
        const QRectF bar(barLeft + 10, y + line * 0.25, barWidth - 20, line * 0.5);
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
            if (!c.present || !c.reference.available)
                continue;
            const double x = bar.left() + ZBarPosition(c.reference.z, bar.width());
            const QColor colour = phase == 0 ? QColor(30, 60, 160) : QColor(20, 140, 60);
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            const double h = bar.height() * 0.45;
            if (ZOffScale(c.reference.z)) {
                // Off the scale: an arrow head past the bar's end, pointing away.
                const double dir = c.reference.z < 0 ? -1.0 : 1.0;
                const QPointF tip(x + dir * 9, bar.center().y());
                painter.drawPolygon(QPolygonF({tip, QPointF(x + dir * 2, bar.top()), QPointF(x + dir * 2, bar.bottom())}));
            } else {
                painter.drawEllipse(QPointF(x, bar.center().y()), h, h);
            }
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black));
        y += line;
    }
    for (int row = 0; row < 2 && row < int(s.rows.size()); ++row) {
        const BronchodilatorChange& c = s.rows[std::size_t(row)].change;
        if (!c.available)
            continue;
        painter.drawText(QRectF(rect.left(), y, rect.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                         QString("%1  %2: %3 mL   %4: %5 %   %6: %7 %   %8")
                             .arg(s.rows[std::size_t(row)].name, text(2553), QString::number(std::lround(c.litres * 1000.0)),
                                  text(2554), number(c.percent, 1), text(2555), number(c.percentPredicted, 1),
                                  text(c.significant ? 2556 : 2557)));
        y += line;
    }
    if (!s.footnote.isEmpty()) {
        painter.drawText(QRectF(rect.left(), y, rect.width(), line), Qt::AlignLeft | Qt::AlignVCenter, s.footnote);
        y += line;
    }
    painter.restore();
    return y - rect.top();
}

double PaintManeuverTable(QPainter& painter, const QRectF& rect, const DayResult& day)
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
    // Each phase's blows as the phase judged them, numbered as the day's "#n" columns.
    const auto storedBlow = [&](const QString& dataName) -> const StoredManeuver* {
        for (const StoredSession& s : day.sessions)
            for (const StoredManeuver& m : s.maneuvers)
                if (m.dataName == dataName)
                    return &m;
        return nullptr;
    };
    const auto columnOf = [&](const QString& dataName) {
        for (std::size_t i = 0; i < day.fvc.size(); ++i)
            if (day.fvc[i].dataName == dataName)
                return int(i) + 1;
        return 0;
    };
    for (const PhaseValues& phase : day.phases) {
        for (std::size_t m = 0; m < phase.blows.size() && m < phase.assessment.maneuvers.size(); ++m) {
            const StoredManeuver* blow = storedBlow(phase.blows[m]);
            if (!blow)
                continue;
            if (y + 2 * line > rect.bottom()) {
                ++left;
                continue;
            }
            const ManeuverAcceptability& a = phase.assessment.maneuvers[m];
            QStringList reasons;
            for (ManeuverFinding finding : a.findings)
                reasons << FindingText(finding);
            const ManeuverResult& r = blow->file.record;
            row(y, {text(phase.phase == kPhasePost ? 2551 : 2550) + " #" + QString::number(columnOf(blow->dataName)),
                    number(r.FVC, 2), number(r.FEV1, 2), number(r.PEF, 2), number(blow->measures.bev, 3),
                    number(blow->measures.fet, 1), number(blow->measures.hesitation, 2),
                    verdict(a.acceptableFev1, a.usableFev1), verdict(a.acceptableFvc, a.usableFvc),
                    reasons.join("; ")});
            y += line;
        }
        if (y + 2 * line <= rect.bottom()) {
            painter.drawText(QRectF(rect.left(), y, rect.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                             PhaseName(phase.phase) + ": " + PhaseGradeText(phase));
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
