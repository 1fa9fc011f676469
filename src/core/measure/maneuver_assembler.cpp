#include "core/measure/maneuver_assembler.h"

#include "core/measure/flow_engine.h"

#include <algorithm>
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
    m_anyPulse = false;
    m_lastDirection = 1;
    m_open = m_lastClosed = kNone;
    m_endedInside = false;
    m_expCount = m_inspCount = 0;
    m_phaseStamps.clear();
    m_phaseSlots.clear();
    m_record = ManeuverResult{};
    m_status = ManeuverStatus{};
    m_engine.SetCoefficients(expCoefficient, inspCoefficient);
    m_engine.ResetEngine();
    m_engine.SetDirection(0);
}

void ManeuverAssembler::SetCoefficients(int expCoefficient, int inspCoefficient)
{
    m_engine.SetCoefficients(expCoefficient, inspCoefficient);
}

void ManeuverAssembler::openPhase(bool expiration)
{
    if (expiration) {
        // An expiration after the inspiration: the cycle end between them
        // was lost on the way. The manoeuvre before is whole; it ends here.
        if (m_lastClosed == kInspiration)
            appendCurrent();
        else if (m_lastClosed == kExpiration)
            m_status.failedChecks |= kCheckPhaseOrder;
    } else if (m_lastClosed != kExpiration) {
        m_status.failedChecks |= kCheckPhaseOrder; // a breath in without its blow
    }
    m_open = expiration ? kExpiration : kInspiration;
    m_phaseStamps.clear();
    m_phaseSlots.clear();
    m_engine.ResetEngine();
    m_engine.SetDirection(expiration ? 0 : 1);
}

void ManeuverAssembler::Pulse(std::uint32_t time, bool expiration)
{
    const int direction = expiration ? kExpiration : kInspiration;
    if (m_open != kNone && m_open != direction) {
        // The phase end between the two directions never came.
        m_status.failedChecks |= kCheckDirection;
        closePhase(nullptr);
    }
    std::uint32_t interval = 0;
    if (m_anyPulse && time < m_lastTime) {
        m_status.failedChecks |= kCheckTimeStamps; // adds no interval
    } else {
        interval = time - m_lastTime;
        const std::uint32_t limit =
            m_open == direction ? kMaxPulseGapInPhase : kMaxPulseGapBetweenPhases;
        if ((m_anyPulse && interval > limit) || time > kMaxTestTime)
            m_status.failedChecks |= kCheckTimeStamps;
    }
    if (m_open == kNone)
        openPhase(expiration);

    m_store.AppendPulse({time, expiration ? 1 : 0});
    const int produced = m_engine.FeedInterval(interval);
    if (interval > 0 || !m_anyPulse)
        m_lastTime = time;
    m_anyPulse = true;
    if (m_points)
        m_points->Append(
            {produced > 0 ? m_engine.LastSlotFlow() : 0.0f, produced, expiration ? 1 : 0});
    m_lastDirection = direction;
    m_phaseStamps.push_back(time);
    m_phaseSlots.push_back(m_engine.SlotCount());
    ++(expiration ? m_expCount : m_inspCount);
}

void ManeuverAssembler::closePhase(const Sums* sums)
{
    const FlowPhaseResult p = m_engine.FinishPhase();
    if (m_open == kExpiration) {
        m_record = ManeuverResult{};
        copyExpiration(m_record, p);
    } else {
        m_record.FIV1 = p.fev1;
        m_record.PIF = p.pef;
        m_record.FIVC = p.fvc;
    }
    if (sums)
        checkSums(*sums, p.timeZero);
    m_lastClosed = m_open;
    m_open = kNone;
    m_phaseStamps.clear();
    m_phaseSlots.clear();
}

void ManeuverAssembler::checkSums(const Sums& sums, int timeZeroSlot)
{
    const std::vector<std::uint32_t>& stamps = m_phaseStamps;
    const double received = static_cast<double>(stamps.size());
    if (!(std::fabs(sums.volumePulses - received) <= kVolumeSumTolerancePulses))
        m_status.failedChecks |= kCheckVolumeSum;
    if (stamps.empty())
        return;

    // The pulse that brought the slot of time zero + 1 s: the slots count
    // the engine's time, so a long pause before the blow cannot shift it.
    const int oneSecondSlot = timeZeroSlot + 500;
    const size_t at = static_cast<size_t>(
        std::lower_bound(m_phaseSlots.begin(), m_phaseSlots.end(), oneSecondSlot) -
        m_phaseSlots.begin());
    const double firstSecond = static_cast<double>(std::min(at + 1, stamps.size()));
    const std::uint32_t oneSecond = stamps[std::min(at, stamps.size() - 1)];
    const auto countUpTo = [&](std::uint32_t t) {
        return static_cast<double>(std::upper_bound(stamps.begin(), stamps.end(), t) -
                                   stamps.begin());
    };
    const double window = countUpTo(oneSecond + kTimeZeroTolerance) -
                          countUpTo(oneSecond > kTimeZeroTolerance ? oneSecond - kTimeZeroTolerance
                                                                   : 0);
    if (!(std::fabs(sums.firstSecondPulses - firstSecond) <= window + kVolumeSumTolerancePulses))
        m_status.failedChecks |= kCheckFirstSecond;

    double peak = 0.0; // pulses per second over the fastest few pulses
    for (size_t i = 0; i + kPeakWindowPulses < stamps.size(); ++i) {
        const std::uint32_t span = stamps[i + kPeakWindowPulses] - stamps[i];
        if (span > 0)
            peak = std::max(peak, kPeakWindowPulses * 100000.0 / span);
    }
    if (peak > 0.0 || sums.peakRate > 0.0) {
        if (!(std::fabs(sums.peakRate - peak) <= kPeakSumToleranceShare * peak))
            m_status.failedChecks |= kCheckPeakSum;
    }
}

void ManeuverAssembler::PhaseEnd(bool expiration, bool hasSums, double volumePulses,
                                 double firstSecondPulses, double peakRate)
{
    const Sums given{volumePulses, firstSecondPulses, peakRate};
    const Sums* sums = hasSums ? &given : nullptr;
    const int direction = expiration ? kExpiration : kInspiration;
    if (m_open == kNone) {
        if (m_lastClosed == direction)
            return; // a repeat of the phase end just acted on
        openPhase(expiration); // a phase without a single pulse
    } else if (m_open != direction) {
        m_status.failedChecks |= kCheckDirection;
        closePhase(nullptr);
        return;
    }
    closePhase(sums);
}

void ManeuverAssembler::appendCurrent()
{
    if (m_open != kNone) {
        // Pulses of a phase that never ended: kept so that every later
        // manoeuvre finds its samples, but the manoeuvre is not whole.
        m_status.complete = 0;
        m_open = kNone;
        m_phaseStamps.clear();
    m_phaseSlots.clear();
    }
    m_record.ExpCount = m_expCount;
    m_record.InspCount = m_inspCount;
    m_store.AppendManeuver(m_record, m_status);
    m_record = ManeuverResult{};
    m_status = ManeuverStatus{};
    m_expCount = m_inspCount = 0;
    m_lastClosed = kNone;
}

void ManeuverAssembler::ManeuverEnd()
{
    if (m_open != kNone) {
        // A cycle end inside a phase is damage on the way, not the end of
        // this manoeuvre: the numbering of the later ones stays.
        m_status.failedChecks |= kCheckPhaseOrder;
        return;
    }
    // A cycle end with nothing since the last one carries no manoeuvre.
    if (m_lastClosed != kNone)
        appendCurrent();
    if (m_testType == kTestVc && !m_store.tidalFound.load())
        m_store.UpdateTidalStability();
}

void ManeuverAssembler::TestEnd()
{
    m_endedInside = m_open != kNone || m_lastClosed == kExpiration;
    // An expiration without its inspiration is still a manoeuvre.
    if (m_lastClosed != kNone || m_open != kNone)
        appendCurrent();
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
            assembler.PhaseEnd(direction == 1);
        direction = d;
        // A stamp earlier than its predecessor belongs to a damaged file:
        // it adds no interval.
        const std::uint32_t time = sample.time < previous ? previous : sample.time;
        previous = time;
        assembler.Pulse(time, d == 1);
    }
    return points.Snapshot();
}
