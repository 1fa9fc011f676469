#pragma once
// Whether a stored test's record can be a result. A test file read back may
// hold what no lung can blow (a damaged file, a value written by a fault on
// the link): such a record is shown as damaged, never as a figure, a grade, a
// trend point or an exchanged value.
#include "core/measure/test_record.h"

#include <QString>

// The limits a stored record is held to, in the record's units.
struct StoredRecordLimits {
    static constexpr double kMinVolume = 0.1;   // L: FVC, VC
    static constexpr double kMaxVolume = 10.0;  // L: every volume
    static constexpr double kFev1OverFvc = 0.1; // L: FEV1 may exceed FVC by rounding, not more
    static constexpr double kMaxFlow = 20.0;    // L/s: PEF, PIF, the FEFs
    static constexpr double kMaxTime = 60.0;    // s: FET, tI, tE
    static constexpr double kMaxRatio = 105.0;  // %: FEV1/FVC and the other ratios
    static constexpr double kMaxBev = 10000.0;  // mL: back-extrapolated volume
    static constexpr double kMaxVentilation = 400.0; // L/min: MVV, VE
    static constexpr double kMaxRate = 120.0;   // breaths/min
};

// Empty when `record` of a test of `testType` lies within the limits;
// otherwise the first fault in symbols, readable in any language, without the
// impossible value itself ("FEV1 ∉ [0, 4.3] L").
QString StoredRecordFault(const ManeuverResult& record, int testType);
