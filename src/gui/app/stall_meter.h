#pragma once
// Measures how long the interface thread stops answering: a timer ticks
// every few milliseconds on it, and the longest gap between two ticks, less
// the tick itself, is the longest stall (for tests and the bench).
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class StallMeter : public QObject {
    Q_OBJECT
  public:
    static constexpr int kTickMs = 10;

    explicit StallMeter(QObject* parent = nullptr);

    // Starts afresh.
    void Reset();
    qint64 LongestStallMs() const { return m_longest; }

  private:
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};
