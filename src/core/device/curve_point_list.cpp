#include "curve_point_list.h"

#include <algorithm>

CurvePointList& CurvePointList::Instance()
{
    static CurvePointList list;
    return list;
}

void CurvePointList::Append(const CurvePoint& point)
{
    std::lock_guard lock(m_mutex);
    m_points.push_back(point);
}

void CurvePointList::Clear()
{
    std::lock_guard lock(m_mutex);
    m_points.clear();
}

int CurvePointList::Count() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_points.size());
}

std::vector<CurvePoint> CurvePointList::Snapshot(int from) const
{
    std::lock_guard lock(m_mutex);
    from = std::clamp(from, 0, static_cast<int>(m_points.size()));
    return {m_points.begin() + from, m_points.end()};
}
