#include "core/measure/curve_point_list.h"

#include <algorithm>

std::mutex& CurvePointList::PlotLock()
{
    static std::mutex lock;
    return lock;
}

void CurvePointList::Append(const CurvePoint& point)
{
    std::lock_guard lock(PlotLock());
    m_points.push_back(point);
}

void CurvePointList::Clear()
{
    std::lock_guard lock(PlotLock());
    m_points.clear();
}

int CurvePointList::Count() const
{
    std::lock_guard lock(PlotLock());
    return static_cast<int>(m_points.size());
}

std::vector<CurvePoint> CurvePointList::Snapshot(int from) const
{
    std::lock_guard lock(PlotLock());
    from = std::clamp(from, 0, static_cast<int>(m_points.size()));
    return {m_points.begin() + from, m_points.end()};
}
