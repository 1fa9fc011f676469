#pragma once
// Save-time completion of manoeuvre records, choice of the best FVC
// manoeuvre, its start/end grading and measured MVV. The repeatability of a
// day is judged per bronchodilator phase by the day-result model.
#include "core/measure/test_record.h"


#include <array>

inline constexpr int kGenderMale = 0;
inline constexpr int kGenderFemale = 1;

// Ratios, VC, indirect MVV and estimated lung age of one record.
void DeriveManeuver(ManeuverResult& record, int heightCm, int gender);

// Fills flags 0 (start) and 1 (end) for the best manoeuvre and its samples
// (expiratory samples first). `samples` may be null when n is 0.
void Acceptance(const ManeuverResult& record, const TestFileHeader& header, AcceptanceFlags& flags,
                const PulseSample* samples, int n);

// Measured MVV of the breath records first..last (only the leading ones with
// a non-zero FIVC): the volume they expired over the elapsed time `seconds`,
// extrapolated to a minute, into list[first].MVV.
void ComputeMvv(ManeuverList& list, int first, int last, double seconds);
