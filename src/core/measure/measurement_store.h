#pragma once
// The current test run: pulse stream, manoeuvre list, tidal breathing state
// and the device-finished flag. The receive worker fills it while a test
// runs; the interface thread reads it, live through snapshots and fully once
// the finished flag is set. The containers are guarded by one mutex; the
// flags are atomic.
#include "core/measure/maneuver_check.h"
#include "core/measure/test_record.h"

#include <array>
#include <atomic>
#include <mutex>

// Indices of four stable tidal breaths in the manoeuvre list.
using TidalIndices = std::array<int, 4>;

class MeasurementStore {
  public:
    // Empties everything and clears both flags (before a test).
    void Clear();

    void AppendPulse(const PulseSample& sample);
    void AppendManeuver(const ManeuverResult& record, const ManeuverStatus& status = {});
    void AppendTidalSummary(const TidalSummary& summary);

    int PulseCount() const;
    int ManeuverCount() const;

    // Copies taken under the lock.
    PulseStream Pulses(int from = 0) const; // from pulse `from` on
    ManeuverList Maneuvers() const;
    // One status per manoeuvre, in the same order.
    std::vector<ManeuverStatus> Statuses() const;
    std::vector<TidalSummary> TidalSummaries() const;
    TidalIndices Tidal() const;

    // Replaces the manoeuvre records (the writer stores completed records
    // back); the statuses stay with their manoeuvres.
    void SetManeuvers(const ManeuverList& list);
    void SetTidal(const TidalIndices& indices, int found);

    // Runs the stable-tidal-breathing check on the current list (the parsers
    // call it after each breath of a VC test while nothing is found yet).
    // Returns the found flag.
    int UpdateTidalStability();

    std::atomic<int> tidalFound{0};
    std::atomic<int> finished{0}; // the device reported the end of the test

  private:
    mutable std::mutex m_mutex;
    PulseStream m_pulses;
    ManeuverList m_maneuvers;
    std::vector<ManeuverStatus> m_statuses;
    std::vector<TidalSummary> m_summaries;
    TidalIndices m_tidal{-1, -1, -1, -1};
};
