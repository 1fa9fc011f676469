#pragma once
// The live point list the curve plots draw: one point per pulse, appended by
// the stream parser on the receive worker and read by the painter. Its mutex
// is the one plot lock.
#include <cstdint>
#include <mutex>
#include <vector>

struct CurvePoint {
    float flow = 0.0f;          // corrected flow of the pulse's last 2 ms slot, L/s (0: none)
    std::int32_t slotCount = 0; // 2 ms slots the pulse produced
    std::int32_t direction = 0; // non-zero expiration, 0 inspiration
};
static_assert(sizeof(CurvePoint) == 12);

class CurvePointList {
  public:
    static CurvePointList& Instance();

    void Append(const CurvePoint& point);
    void Clear();
    int Count() const;
    // Points from `from` on, copied under the plot lock.
    std::vector<CurvePoint> Snapshot(int from = 0) const;

    // The plot lock, for painters that walk the list in place.
    std::mutex& Lock() const { return m_mutex; }
    const std::vector<CurvePoint>& PointsLocked() const { return m_points; }

  private:
    mutable std::mutex m_mutex;
    std::vector<CurvePoint> m_points;
};
