#pragma once
// Stable tidal breathing and the slow-VC analysis of a VC test.
#include "core/measure/measurement_store.h"
#include "core/measure/test_record.h"

// Breath k's expiration and inspiration lengths in seconds, taken from the
// pulse stream (each phase runs from the end of the previous phase to its own
// last sample).
struct BreathTimes {
    double expiration = 0;
    double inspiration = 0;
};
BreathTimes BreathTimesOf(const ManeuverList& list, const PulseStream& stream, int breath);

// Looks for four stable breaths in a row; on success stores their indices and
// returns 1 (the found flag).
int TidalStability(const ManeuverList& list, const PulseStream& stream, TidalIndices& indices);

// Tidal and lung-volume parameters into list[0]; appends the TidalSummary on
// success. Returns 1 when a VC result was produced; on failure TV is cleared
// and `found` is cleared.
int VcAnalysis(ManeuverList& list, const PulseStream& stream, const TidalIndices& indices,
               int& found, std::vector<TidalSummary>& summaries);
