#pragma once
// The live point list the curve plots draw while a test runs: one element per
// turbine pulse, appended by the stream parser on the receive worker and read
// by the plot painter on the interface thread. Every access holds the one plot
// lock, shared by every list and every plot.
#include <cstdint>
#include <mutex>
#include <vector>

struct CurvePoint {
    float flow = 0.0f;           // corrected flow of the pulse's last 2 ms slot, L/s (0: none)
    std::int32_t slotCount = 0;  // 2 ms slots the pulse produced
    std::int32_t direction = 0;  // non-zero expiration, 0 inspiration
};
static_assert(sizeof(CurvePoint) == 12);

class CurvePointList {
public:
    // The plot lock.
    static std::mutex& PlotLock();

    void Append(const CurvePoint& point);
    void Clear();
    int Count() const;
    // Points from `from` on, copied under the plot lock.
    std::vector<CurvePoint> Snapshot(int from = 0) const;

    // Runs `visit(const std::vector<CurvePoint>&)` while holding the plot lock,
    // so a painter walks the list without copying it.
    template <class Visit> void WithPoints(Visit&& visit) const
    {
        std::lock_guard lock(PlotLock());
        visit(m_points);
    }

    // For painters that take the lock themselves.
    std::mutex& Lock() const { return PlotLock(); }
    const std::vector<CurvePoint>& PointsLocked() const { return m_points; }

private:
    std::vector<CurvePoint> m_points;
};
