#include "core/measure/stored_record_check.h"

#include "core/measure/maneuver_fields.h"

#include <cmath>

namespace {

using L = StoredRecordLimits;

QString outside(const char* name, double value, double low, double high, const char* unit)
{
    if (std::isfinite(value) && value >= low && value <= high)
        return QString();
    // Symbols only, so the reason reads in either language; the impossible
    // value itself is not repeated, it is no figure to show anywhere.
    (void)value;
    return QString("%1 \u2209 [%2, %3] %4").arg(name).arg(low).arg(high).arg(unit);
}

QString firstFault(std::initializer_list<QString> faults)
{
    for (const QString& fault : faults)
        if (!fault.isEmpty())
            return fault;
    return QString();
}

QString fvcFault(const ManeuverResult& r)
{
    return firstFault({
        outside("FVC", r.FVC, L::kMinVolume, L::kMaxVolume, "L"),
        outside("FEV1", r.FEV1, 0, std::min(L::kMaxVolume, double(r.FVC) + L::kFev1OverFvc), "L"),
        outside("FEV6", r.FEV6, 0, L::kMaxVolume, "L"),
        outside("FEV3", r.FEV3, 0, L::kMaxVolume, "L"),
        outside("FIVC", r.FIVC, 0, L::kMaxVolume, "L"),
        outside("FIV1", r.FIV1, 0, L::kMaxVolume, "L"),
        outside("PEF", r.PEF, 0, L::kMaxFlow, "L/s"),
        outside("PIF", r.PIF, 0, L::kMaxFlow, "L/s"),
        outside("FEF25", r.FEF25, 0, L::kMaxFlow, "L/s"),
        outside("FEF50", r.FEF50, 0, L::kMaxFlow, "L/s"),
        outside("FEF75", r.FEF75, 0, L::kMaxFlow, "L/s"),
        outside("FEF2575", r.FEF2575, 0, L::kMaxFlow, "L/s"),
        outside("FEV1/FVC", r.FEV1_FVC, 0, L::kMaxRatio, "%"),
        outside("FET", r.FET, 0, L::kMaxTime, "s"),
        outside("EVOL", r.EVOL, 0, L::kMaxBev, "mL"),
    });
}

QString vcFault(const ManeuverResult& r)
{
    return firstFault({
        outside("VC", r.VC, L::kMinVolume, L::kMaxVolume, "L"),
        outside("IC", r.IC, 0, L::kMaxVolume, "L"),
        outside("ERV", r.ERV, 0, L::kMaxVolume, "L"),
        outside("IRV", r.IRV, 0, L::kMaxVolume, "L"),
        outside("EVC", r.EVC, 0, L::kMaxVolume, "L"),
        outside("IVC", r.IVC, 0, L::kMaxVolume, "L"),
        outside("TV", r.TV, 0, L::kMaxVolume, "L"),
        outside("VE", r.MV, 0, L::kMaxVentilation, "L/min"),
        outside("RR", r.RR, 0, L::kMaxRate, "/min"),
        outside("tI", r.tI, 0, L::kMaxTime, "s"),
        outside("tE", r.tE, 0, L::kMaxTime, "s"),
    });
}

} // namespace

QString StoredRecordFault(const ManeuverResult& record, int testType)
{
    // Whatever the type, no field of a record read back may be infinite or not a number.
    const auto& fields = ManeuverFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const double value = ManeuverFieldValue(record, int(i));
        if (!std::isfinite(value))
            return QString("%1 \u2209 \u211D").arg(fields[i].name); // not a real number
    }
    if (testType == kTestVc)
        return vcFault(record);
    if (testType == kTestMvv)
        return outside("MVV", record.MVV, 1, L::kMaxVentilation, "L/min");
    return fvcFault(record);
}
