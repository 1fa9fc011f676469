#include "core/measure/maneuver_assembler.h"

#include "core/measure/flow_engine.h"

#include <cmath>
#include <memory>

namespace {

void copyExpiration(ManeuverResult& r, const FlowPhaseResult& p)
{
    r.FVC = p.fvc;
    r.FEV1 = p.fev1;
    r.FEV3 = p.fev3;
    r.FEV6 = p.fev6;
    r.PEF = p.pef;
    r.FEF25 = p.fef25;
    r.FEF50 = p.fef50;
    r.FEF75 = p.fef75;
    r.FEF2575 = p.fef2575;
    r.FET = p.fet;
    r.EVOL = static_cast<std::int32_t>(p.evol * 1000.0f);
    r.Duration = static_cast<std::int32_t>(p.totalTime + 0.5f);
}

} // namespace

ManeuverAssembler::ManeuverAssembler(MeasurementStore& store, FlowEngine& engine,
                                     CurvePointList* points)
    : m_store(store), m_engine(engine), m_points(points)
{
}

void ManeuverAssembler::Begin(int testType, int expCoefficient, int inspCoefficient,
                              int waitMarkSlots)
{
    m_testType = testType;
    m_waitMarkSlots = waitMarkSlots;
    m_lastTime = 0;
    m_lastDirection = 1;
    m_expCount = m_inspCount = m_phasesClosed = 0;
    m_record = ManeuverResult{};
    m_status = ManeuverStatus{};
    m_engine.SetCoefficients(expCoefficient, inspCoefficient);
    m_engine.ResetEngine();
    m_engine.SetDirection(0);
}

void ManeuverAssembler::Pulse(std::uint32_t time, bool expiration)
{
    m_store.AppendPulse({time, expiration ? 1 : 0});
    const int produced = m_engine.FeedInterval(time - m_lastTime);
    m_lastTime = time;
    if (m_points)
        m_points->Append(
            {produced > 0 ? m_engine.LastSlotFlow() : 0.0f, produced, expiration ? 1 : 0});
    m_lastDirection = expiration ? 1 : 0;
    ++(expiration ? m_expCount : m_inspCount);
}

void ManeuverAssembler::PhaseEnd(bool expiration, bool hasSums, float firstSecond, float peak,
                                 float volume, double devicePulses)
{
    const int received = expiration ? m_expCount : m_inspCount;
    const FlowPhaseResult p = m_engine.FinishPhase();
    if (expiration) {
        m_record = ManeuverResult{};
        m_record.ExpCount = m_expCount;
        if (hasSums) {
            m_record.FEV1 = firstSecond;
            m_record.PEF = peak;
            m_record.FVC = volume;
        } else {
            copyExpiration(m_record, p);
        }
    } else {
        m_record.InspCount = m_inspCount;
        m_record.FIV1 = hasSums ? firstSecond : p.fev1;
        m_record.PIF = hasSums ? peak : p.pef;
        m_record.FIVC = hasSums ? volume : p.fvc;
    }
    m_status.fromEngine = hasSums ? 0 : 1;
    if (hasSums) {
        // The device counted the pulses too: a difference means pulses were
        // lost or the sums were damaged on the way.
        const double allowed = kSumsTolerancePulses + kSumsToleranceShare * devicePulses;
        if (!(std::fabs(devicePulses - received) <= allowed))
            m_status.sumsDisagree = 1;
    }
    m_engine.ResetEngine();
    m_engine.SetDirection(expiration ? 1 : 0);
    m_expCount = m_inspCount = 0;
    ++m_phasesClosed;
}

void ManeuverAssembler::appendCurrent()
{
    if (m_expCount > 0 || m_inspCount > 0) {
        // Pulses of a phase that never ended: kept so that every later
        // manoeuvre finds its samples, but the manoeuvre is not whole.
        m_record.ExpCount += m_expCount;
        m_record.InspCount += m_inspCount;
        m_status.complete = 0;
        m_expCount = m_inspCount = 0;
    }
    m_store.AppendManeuver(m_record, m_status);
    m_record = ManeuverResult{};
    m_status = ManeuverStatus{};
    m_phasesClosed = 0;
}

void ManeuverAssembler::ManeuverEnd()
{
    // A cycle end with nothing since the last one carries no manoeuvre.
    if (m_phasesClosed > 0 || m_expCount > 0 || m_inspCount > 0)
        appendCurrent();
    if (m_testType == kTestVc && !m_store.tidalFound.load())
        m_store.UpdateTidalStability();
}

void ManeuverAssembler::TestEnd()
{
    // An expiration without its inspiration is still a manoeuvre.
    if (m_phasesClosed > 0 || m_expCount > 0 || m_inspCount > 0) {
        m_lastTime = 0;
        appendCurrent();
    }
    m_store.finished = 1;
}

void ManeuverAssembler::WaitMark()
{
    if (m_points)
        m_points->Append({0.0f, m_waitMarkSlots, m_lastDirection});
}

void ManeuverAssembler::DataLost(int pulses)
{
    m_status.complete = 0;
    m_status.lostPulses += pulses;
}

std::vector<CurvePoint> ManeuverAssembler::ReplayStored(int expCoefficient, int inspCoefficient,
                                                        const PulseStream& samples)
{
    MeasurementStore store;
    CurvePointList points;
    // The engine holds two 64 KB slot arrays: never on the stack.
    auto engine = std::make_unique<FlowEngine>();
    ManeuverAssembler assembler(store, *engine, &points);
    assembler.Begin(kTestFvc, expCoefficient, inspCoefficient);
    int direction = -1;
    std::uint32_t previous = 0;
    for (const PulseSample& sample : samples) {
        const int d = sample.direction ? 1 : 0;
        if (direction >= 0 && d != direction)
            assembler.PhaseEnd(direction == 1, false, 0, 0, 0, 0);
        direction = d;
        // A stamp earlier than its predecessor belongs to a damaged file:
        // it adds no interval.
        const std::uint32_t time = sample.time < previous ? previous : sample.time;
        previous = time;
        assembler.Pulse(time, d == 1);
    }
    return points.Snapshot();
}
