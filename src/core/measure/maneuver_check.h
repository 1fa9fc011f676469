#pragma once
// Whether a manoeuvre may be chosen and stored: every pulse arrived, the
// device's sums agree with the pulses, and every value lies in the range a
// human blow can have. Anything else is a fault on the way, never a result.
#include "core/measure/test_record.h"

#include <vector>

#include <QStringList>

// The checks the assembler makes of what a link reported, one bit each: a
// failed one marks the manoeuvre damaged (never stored as a result).
enum BlowCheck : unsigned {
    kCheckDirection = 1u << 0,   // a pulse or phase end of the other direction than the open phase
    kCheckPhaseOrder = 1u << 1,  // an inspiration before its expiration, a cycle end inside a phase
    kCheckTimeStamps = 1u << 2,  // a stamp earlier than the last, a jump no breath has, past the test
    kCheckVolumeSum = 1u << 3,   // the device counted other pulses than came
    kCheckFirstSecond = 1u << 4, // the device's first-second volume and the pulses' differ
    kCheckPeakSum = 1u << 5,     // the device's peak flow and the pulses' differ
};

// The names of the failed checks in `checks`, for JSON and logs.
QStringList FailedCheckNames(unsigned checks);

// What the assembler knows about a manoeuvre beyond its record (not stored in
// the test file).
struct ManeuverStatus {
    int complete = 1;          // 0: pulses were lost on the link
    int lostPulses = 0;        // pulses known to be lost
    unsigned failedChecks = 0; // BlowCheck bits
};

// The ranges a real forced blow lies in.
struct PhysicalLimits {
    static constexpr float kMinVolume = 0.1f; // L, FVC and FIVC
    static constexpr float kMaxVolume = 10.0f;
    static constexpr float kMinPeak = 0.5f; // L/s, PEF
    static constexpr float kMaxPeak = 20.0f;
    static constexpr float kMinTime = 0.5f; // s, FET
    static constexpr float kMaxTime = 60.0f;
    static constexpr float kMinMvv = 2.0f; // L/min, measured MVV
    static constexpr float kMaxMvv = 400.0f;
};

// Why a manoeuvre cannot be used (kUsable when it can).
enum class ManeuverFault { kUsable, kIncomplete, kDamaged, kImplausible };

// For an FVC manoeuvre whose ratios are derived (DeriveManeuver).
ManeuverFault CheckFvcManeuver(const ManeuverResult& record, const ManeuverStatus& status);

// Index of the usable manoeuvre with the largest FVC + FEV1 (earliest on a
// tie), -1 when none is usable. `statuses` may be shorter than `list`
// (missing ones count as whole device-summed manoeuvres).
int BestUsableFvcIndex(const ManeuverList& list, const std::vector<ManeuverStatus>& statuses);
