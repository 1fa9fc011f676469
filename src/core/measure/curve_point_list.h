#pragma once
// The live point list the curve plots draw while a test runs: one element per
// turbine pulse, appended by the stream parser on the receive worker and read
// by the plot painter on the interface thread. Every access holds the one plot
// lock.
#include <cstdint>
#include <mutex>
#include <vector>

struct CurvePoint {
    float flow = 0; // corrected flow of the last 2 ms slot of the pulse, L/s (0 when none)
    std::int32_t slotCount = 0; // 2 ms slots the pulse produced
    std::int32_t direction = 0; // non-zero expiration, 0 inspiration
};
static_assert(sizeof(CurvePoint) == 12);

class CurvePointList {
  public:
    // The process-wide list of the live test.
    static CurvePointList& Instance();
    // The plot lock shared by every plot and the writer of the list.
    static std::mutex& PlotLock();

    void Append(const CurvePoint& point);
    void Clear();
    int Count() const;
    // A copy taken under the lock.
    std::vector<CurvePoint> Snapshot() const;

    // Runs `visit(const std::vector<CurvePoint>&)` while holding the plot lock,
    // so a painter walks the list without copying it.
    template <class Visit> void WithPoints(Visit&& visit) const
    {
        std::lock_guard lock(PlotLock());
        visit(m_points);
    }

  private:
    std::vector<CurvePoint> m_points;
};
