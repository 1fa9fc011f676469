#include "gui/measure/incentive_widget.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {
// Without predicted values a child's typical blow is the target.
constexpr double kFallbackPef = 4.0; // L/s
constexpr double kFallbackFvc = 2.0; // L
} // namespace

IncentiveWidget::IncentiveWidget(QWidget* parent) : QWidget(parent)
{
    setObjectName("incentive");
    setMinimumSize(220, 160);
}

void IncentiveWidget::SetKind(int kind)
{
    m_kind = kind == kBalloon ? kBalloon : kCandles;
    update();
}

void IncentiveWidget::SetTargets(double pef, double fvc)
{
    m_targetPef = pef;
    m_targetFvc = fvc;
    update();
}

void IncentiveWidget::Reset()
{
    m_flow = m_peak = m_volume = 0;
    m_ended = false;
    update();
}

void IncentiveWidget::Show(double flow, double volume, bool ended)
{
    m_flow = std::max(0.0, flow);
    m_peak = std::max(m_peak, m_flow);
    m_volume = std::max(0.0, volume);
    m_ended = ended;
    ++m_frame;
    update();
}

int IncentiveWidget::CandlesOut() const
{
    const double target = m_targetPef > 0 ? m_targetPef : kFallbackPef;
    return std::clamp(int(m_peak / target * kCandleCount), 0, kCandleCount);
}

double IncentiveWidget::Fill() const
{
    const double target = m_targetFvc > 0 ? m_targetFvc : kFallbackFvc;
    return std::clamp(m_volume / target, 0.0, 1.0);
}

void IncentiveWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(0xD8, 0xEE, 0xFF));
    sky.setColorAt(1, QColor(0xFF, 0xF6, 0xE0));
    p.fillRect(r, sky);
    if (m_kind == kBalloon)
        paintBalloon(p, r);
    else
        paintCandles(p, r);
    if (m_ended)
        paintCelebration(p, r);
}

void IncentiveWidget::paintCandles(QPainter& p, const QRectF& r) const
{
    // The cake.
    const QRectF cake(r.left() + r.width() * 0.15, r.bottom() - r.height() * 0.35, r.width() * 0.7,
                      r.height() * 0.28);
    p.setPen(QPen(QColor(0x8B, 0x45, 0x13), 2));
    p.setBrush(QColor(0xF4, 0xA4, 0x60));
    p.drawRoundedRect(cake, 8, 8);
    p.setBrush(QColor(0xFF, 0xF0, 0xF5));
    p.drawRoundedRect(QRectF(cake.left(), cake.top() - 6, cake.width(), 14), 7, 7);

    const int out = CandlesOut();
    const double step = cake.width() / kCandleCount;
    const double height = r.height() * 0.22;
    // The flame leans away as the flow grows.
    const double target = m_targetPef > 0 ? m_targetPef : kFallbackPef;
    const double lean = std::min(1.0, m_flow / target);
    for (int i = 0; i < kCandleCount; ++i) {
        const double x = cake.left() + step * (i + 0.5);
        const QRectF candle(x - step * 0.12, cake.top() - height, step * 0.24, height);
        p.setPen(QPen(QColor(0x40, 0x40, 0x80), 1));
        p.setBrush(i % 2 ? QColor(0x87, 0xCE, 0xEB) : QColor(0xFF, 0xB6, 0xC1));
        p.drawRect(candle);
        const QPointF wick(x, candle.top());
        p.drawLine(wick, wick - QPointF(0, 5));
        const QPointF tip = wick - QPointF(0, 5);
        if (i < out) {
            // Blown out: a curl of smoke.
            p.setPen(QPen(QColor(0x90, 0x90, 0x90, 160), 2));
            p.setBrush(Qt::NoBrush);
            QPainterPath smoke(tip);
            smoke.cubicTo(tip + QPointF(8, -8), tip + QPointF(-8, -16), tip + QPointF(4, -26));
            p.drawPath(smoke);
            continue;
        }
        const double flicker = 2.0 * std::sin((m_frame + i * 7) * 0.4);
        const double size = 9 + flicker * 0.5;
        const QPointF top = tip + QPointF(lean * 14 + flicker * 0.5, -size * 2.2);
        QPainterPath flame(tip);
        flame.cubicTo(tip + QPointF(-size, -size), top + QPointF(-size * 0.3, size * 0.6), top);
        flame.cubicTo(top + QPointF(size * 0.3, size * 0.6), tip + QPointF(size, -size), tip);
        QRadialGradient glow(tip - QPointF(0, size), size * 1.5);
        glow.setColorAt(0, QColor(0xFF, 0xFF, 0xA0));
        glow.setColorAt(1, QColor(0xFF, 0x80, 0x00));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawPath(flame);
    }
}

void IncentiveWidget::paintBalloon(QPainter& p, const QRectF& r) const
{
    const double fill = Fill();
    const double full = std::min(r.width(), r.height()) * 0.38;
    const double radius = full * (0.2 + 0.8 * std::sqrt(fill));
    // Once full it floats up a little.
    const double rise = m_ended ? r.height() * 0.08 : 0;
    const QPointF centre(r.center().x(), r.top() + r.height() * 0.45 - rise);
    // The target size, dashed.
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, full, full * 1.15);
    // The string and the knot.
    const QPointF knot(centre.x(), centre.y() + radius * 1.15);
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1.5));
    QPainterPath string(knot);
    string.cubicTo(knot + QPointF(10, 20), knot + QPointF(-10, 40), QPointF(knot.x(), r.bottom() - 4));
    p.drawPath(string);
    QRadialGradient body(centre - QPointF(radius * 0.35, radius * 0.4), radius * 1.4);
    body.setColorAt(0, QColor(0xFF, 0x9A, 0x9A));
    body.setColorAt(1, QColor(0xD0, 0x10, 0x30));
    p.setPen(QPen(QColor(0x90, 0x10, 0x20), 1.5));
    p.setBrush(body);
    p.drawEllipse(centre, radius, radius * 1.15);
    p.setBrush(QColor(0x90, 0x10, 0x20));
    p.drawPolygon(QPolygonF({knot, knot + QPointF(-5, 8), knot + QPointF(5, 8)}));
    // Air going in while the flow lasts.
    p.setPen(QPen(QColor(0x40, 0x80, 0xFF, 150), 2));
    const int puffs = int(std::min(4.0, m_flow));
    for (int i = 0; i < puffs; ++i) {
        const double y = r.bottom() - 10 - std::fmod(m_frame * 3.0 + i * 15, 60);
        p.drawLine(QPointF(knot.x() - 20 - i * 4, y), QPointF(knot.x() - 8, y - 6));
    }
}

void IncentiveWidget::paintCelebration(QPainter& p, const QRectF& r) const
{
    // Confetti falling, then the words.
    static const QColor colours[] = {QColor(0xE6, 0x19, 0x4B), QColor(0x3C, 0xB4, 0x4B),
                                     QColor(0xFF, 0xE1, 0x19), QColor(0x43, 0x63, 0xD8),
                                     QColor(0xF5, 0x82, 0x31), QColor(0x91, 0x1E, 0xB4)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 40; ++i) {
        const double x = std::fmod(i * 53.0 + m_frame * (1 + i % 3), r.width());
        const double y = std::fmod(i * 37.0 + m_frame * (2 + i % 4), r.height());
        p.setBrush(colours[i % 6]);
        p.save();
        p.translate(r.left() + x, r.top() + y);
        p.rotate((m_frame * 5 + i * 30) % 360);
        p.drawRect(QRectF(-3, -2, 6, 4));
        p.restore();
    }
    QFont font = p.font();
    font.setPixelSize(int(std::clamp(std::min(r.height() / 9, r.width() / 9), 14.0, 48.0)));
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0x20, 0x60, 0x20));
    p.drawText(r.adjusted(0, 6, 0, 0), Qt::AlignHCenter | Qt::AlignTop, m_celebration);
}
