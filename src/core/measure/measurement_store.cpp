#include "core/measure/measurement_store.h"

#include "core/measure/vc_analysis.h"

void MeasurementStore::Clear() {
    std::lock_guard lock(m_mutex);
    m_pulses.clear();
    m_maneuvers.clear();
    m_statuses.clear();
    m_summaries.clear();
    m_tidal = {-1, -1, -1, -1};
    tidalFound = 0;
    finished = 0;
}

void MeasurementStore::AppendPulse(const PulseSample& sample) {
    std::lock_guard lock(m_mutex);
    m_pulses.push_back(sample);
}

void MeasurementStore::AppendManeuver(const ManeuverResult& record,
                                      const ManeuverStatus& status) {
    std::lock_guard lock(m_mutex);
    m_maneuvers.push_back(record);
    m_statuses.push_back(status);
}

void MeasurementStore::AppendTidalSummary(const TidalSummary& summary) {
    std::lock_guard lock(m_mutex);
    m_summaries.push_back(summary);
}

int MeasurementStore::PulseCount() const {
    std::lock_guard lock(m_mutex);
    return int(m_pulses.size());
}

int MeasurementStore::ManeuverCount() const {
    std::lock_guard lock(m_mutex);
    return int(m_maneuvers.size());
}

PulseStream MeasurementStore::Pulses(int from) const {
    std::lock_guard lock(m_mutex);
    if (from <= 0)
        return m_pulses;
    if (from >= int(m_pulses.size()))
        return {};
    return PulseStream(m_pulses.begin() + from, m_pulses.end());
}

ManeuverList MeasurementStore::Maneuvers() const {
    std::lock_guard lock(m_mutex);
    return m_maneuvers;
}

std::vector<ManeuverStatus> MeasurementStore::Statuses() const {
    std::lock_guard lock(m_mutex);
    return m_statuses;
}

std::vector<TidalSummary> MeasurementStore::TidalSummaries() const {
    std::lock_guard lock(m_mutex);
    return m_summaries;
}

TidalIndices MeasurementStore::Tidal() const {
    std::lock_guard lock(m_mutex);
    return m_tidal;
}

void MeasurementStore::SetManeuvers(const ManeuverList& list) {
    std::lock_guard lock(m_mutex);
    m_maneuvers = list;
    m_statuses.resize(list.size());
}

void MeasurementStore::SetTidal(const TidalIndices& indices, int found) {
    std::lock_guard lock(m_mutex);
    m_tidal = indices;
    tidalFound = found;
}

int MeasurementStore::UpdateTidalStability() {
    std::lock_guard lock(m_mutex);
    if (tidalFound.load())
        return 1;
    const int found = TidalStability(m_maneuvers, m_pulses, m_tidal);
    tidalFound = found;
    return found;
}
