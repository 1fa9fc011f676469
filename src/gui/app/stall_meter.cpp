#include "gui/app/stall_meter.h"

#include <algorithm>

StallMeter::StallMeter(QObject* parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &StallMeter::tick);
    Reset();
    m_timer.start();
}

void StallMeter::Reset()
{
    m_clock.start();
    m_last = 0;
    m_longest = 0;
}

void StallMeter::tick()
{
    const qint64 now = m_clock.elapsed();
    m_longest = std::max(m_longest, now - m_last - kTickMs);
    m_last = now;
}
