#pragma once
// Plays manoeuvres of ideal pulses into a measurement store, as a live test would.
#include "engine_driver.h"

#include "core/measure/ideal_pulses.h"
#include "core/measure/measurement_store.h"

// Plays one manoeuvre into the store the way the checksum-frame parser does.
class Session {
  public:
    Session() { m_store.Clear(); }

    void maneuver(const ForcedExpiration& blow, const SineBreath& breath,
                  double pauseSeconds = 2.0, const ManeuverStatus& status = {}) {
        PulseStream pulses;
        const double start = m_clock + pauseSeconds;
        const int exp = AppendIdealPulses(
            pulses, [&](double t) { return blow.Volume(t); }, 6.0,
            FlowEngine::ExpiratoryPulseVolume(149), start, kDirectionExpiration);
        const int insp = AppendIdealPulses(
            pulses, [&](double t) { return breath.Volume(t); }, breath.duration,
            FlowEngine::InspiratoryPulseVolume(149), start + 6.2, kDirectionInspiration);
        ManeuverResult r;
        const FlowPhaseResult e = m_driver.phase(pulses, 0, exp, true);
        r.FVC = e.fvc, r.FEV1 = e.fev1, r.FEV3 = e.fev3, r.FEV6 = e.fev6, r.PEF = e.pef;
        r.FEF25 = e.fef25, r.FEF50 = e.fef50, r.FEF75 = e.fef75, r.FEF2575 = e.fef2575,
        r.FET = e.fet;
        r.EVOL = e.evolMl, r.Duration = e.duration, r.ExpCount = exp;
        const FlowPhaseResult i = m_driver.phase(pulses, exp, exp + insp, false);
        r.FIVC = i.fvc, r.FIV1 = i.fev1, r.PIF = i.pef, r.InspCount = insp;
        for (const PulseSample& s : pulses)
            m_store.AppendPulse(s);
        m_store.AppendManeuver(r, status);
        m_clock = pulses.back().time * 1e-5;
    }

    MeasurementStore& store() { return m_store; }

  private:
    MeasurementStore m_store;
    EngineDriver m_driver{149, 149};
    double m_clock = 0;
};
