#pragma once
// Whether a manoeuvre may be chosen and stored: every pulse arrived, the
// device's sums agree with the pulses, and every value lies in the range a
// human blow can have. Anything else is a fault on the way, never a result.
#include "core/measure/test_record.h"

#include <vector>

// What the assembler knows about a manoeuvre beyond its record (not stored in
// the test file).
struct ManeuverStatus {
    int complete = 1;     // 0: pulses were lost on the link
    int lostPulses = 0;   // pulses known to be lost
    int sumsDisagree = 0; // 1: the device's sums and the pulses received differ
    int fromEngine = 0;   // 1: the values come from the flow engine (no device sums)
};

// The ranges a real forced blow lies in.
struct PhysicalLimits {
    static constexpr float kMinVolume = 0.1f; // L, FVC and FIVC
    static constexpr float kMaxVolume = 10.0f;
    static constexpr float kMinPeak = 0.5f; // L/s, PEF
    static constexpr float kMaxPeak = 20.0f;
    static constexpr float kMinTime = 0.5f; // s, FET
    static constexpr float kMaxTime = 60.0f;
};

// Why a manoeuvre cannot be used (kUsable when it can).
enum class ManeuverFault { kUsable, kIncomplete, kSumsDisagree, kImplausible };

// For an FVC manoeuvre whose ratios are derived (DeriveManeuver).
ManeuverFault CheckFvcManeuver(const ManeuverResult& record, const ManeuverStatus& status);

// Index of the usable manoeuvre with the largest FVC + FEV1 (earliest on a
// tie), -1 when none is usable. `statuses` may be shorter than `list`
// (missing ones count as whole device-summed manoeuvres).
int BestUsableFvcIndex(const ManeuverList& list, const std::vector<ManeuverStatus>& statuses);
