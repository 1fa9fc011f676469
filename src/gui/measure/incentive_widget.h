#pragma once
// IncentiveWidget: a picture for children to blow at, drawn with QPainter
// from the live flow and volume: candles that go out as the flow nears the
// predicted PEF, or a balloon that fills towards the predicted FVC; a
// celebration once the blow reaches its end.
#include <QWidget>

class IncentiveWidget : public QWidget {
    Q_OBJECT
  public:
    enum Kind { kCandles = 0, kBalloon = 1 };
    static constexpr int kCandleCount = 6;

    explicit IncentiveWidget(QWidget* parent = nullptr);

    void SetKind(int kind);
    int Kind() const { return m_kind; }
    // The targets: predicted PEF (L/s) and FVC (L); 0 or less: none known.
    void SetTargets(double pef, double fvc);
    // A new blow: every candle lit, the balloon empty.
    void Reset();
    // The blow now: flow (L/s), volume blown (L), whether its end is reached.
    void Show(double flow, double volume, bool ended);
    void SetCelebration(const QString& text) { m_celebration = text; }

    int CandlesOut() const;
    double Fill() const; // share of the target volume, 0..1
    bool Celebrating() const { return m_ended; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void paintCandles(QPainter& p, const QRectF& r) const;
    void paintBalloon(QPainter& p, const QRectF& r) const;
    void paintCelebration(QPainter& p, const QRectF& r) const;

    int m_kind = kCandles;
    double m_targetPef = 0;
    double m_targetFvc = 0;
    double m_flow = 0;
    double m_peak = 0;
    double m_volume = 0;
    bool m_ended = false;
    int m_frame = 0; // flicker and confetti move with every frame
    QString m_celebration;
};
