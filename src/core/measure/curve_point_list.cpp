#include "curve_point_list.h"

CurvePointList& CurvePointList::Instance()
{
    static CurvePointList list;
    return list;
}

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
    return int(m_points.size());
}

std::vector<CurvePoint> CurvePointList::Snapshot() const
{
    std::lock_guard lock(PlotLock());
    return m_points;
}
