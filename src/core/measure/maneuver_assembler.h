#pragma once
// Turns the events of a test stream into manoeuvres: every pulse goes to the
// store, the flow engine and the live point list; each phase end closes the
// phase from the engine, or from the device's own sums where it sent them;
// each manoeuvre end appends the record with its status. The live test, the
// replay of a saved stream and the replay of a stored curve all go through
// this one class, so they cannot drift apart.
#include "core/measure/curve_point_list.h"
#include "core/measure/measurement_store.h"
#include "core/measure/test_record.h"

#include <cstdint>

class FlowEngine;

class ManeuverAssembler {
  public:
    // The device's sums and the pulses received may differ by this many
    // pulses plus this share of the phase before the manoeuvre is flagged.
    static constexpr int kSumsTolerancePulses = 3;
    static constexpr double kSumsToleranceShare = 0.03;

    // `points` may be null (nothing is drawn).
    ManeuverAssembler(MeasurementStore& store, FlowEngine& engine, CurvePointList* points);

    // Before a test: the sensor coefficients after BTPS correction, the
    // TestType and the slots a wait mark stands for on the plot.
    void Begin(int testType, int expCoefficient, int inspCoefficient, int waitMarkSlots = 0);

    void Pulse(std::uint32_t time, bool expiration);
    // volume, firstSecond, peak and the pulses it counted from the device when
    // `hasSums`.
    void PhaseEnd(bool expiration, bool hasSums, float firstSecond, float peak, float volume,
                  double devicePulses);
    void ManeuverEnd();
    void TestEnd();
    void WaitMark();
    void DataLost(int pulses);

    // Replays the samples of a stored test (one manoeuvre, expiration first)
    // exactly as the live test fed them: a change of direction closes a
    // phase. Returns the points a live plot would have drawn.
    static std::vector<CurvePoint> ReplayStored(int expCoefficient, int inspCoefficient,
                                                const PulseStream& samples);

  private:
    void appendCurrent();

    MeasurementStore& m_store;
    FlowEngine& m_engine;
    CurvePointList* m_points;
    int m_testType = kTestFvc;
    int m_waitMarkSlots = 0;
    std::uint32_t m_lastTime = 0;
    int m_lastDirection = 1;
    int m_expCount = 0;  // pulses of the open expiration
    int m_inspCount = 0; // pulses of the open inspiration
    int m_phasesClosed = 0;
    ManeuverResult m_record;
    ManeuverStatus m_status;
};
