#pragma once
// Turns the events of a test stream into manoeuvres and is the one judge of
// what a link reported: every pulse goes to the store, the flow engine and
// the live point list; each phase end closes the phase from the engine (the
// device's own sums, where it sends them, are only compared with the
// pulses); each manoeuvre end appends the record with its status. A pulse
// of the wrong direction, phases out of order, stamps that cannot be, or
// sums that disagree with the pulses mark the manoeuvre damaged and say
// which check failed. The live test, the replay of a saved stream and the
// replay of a stored curve all go through this one class.
#include "core/measure/curve_point_list.h"
#include "core/measure/measurement_store.h"
#include "core/measure/test_record.h"

#include <cstdint>
#include <vector>

class FlowEngine;

class ManeuverAssembler {
  public:
    // Time stamps count 10 us. Inside a phase two pulses are never further
    // apart than this (a flow under 2 mL/s is no flow); between phases the
    // link would have been silent too long for the test to go on.
    static constexpr std::uint32_t kMaxPulseGapInPhase = 10 * 100000;
    static constexpr std::uint32_t kMaxPulseGapBetweenPhases = 120 * 100000;
    static constexpr std::uint32_t kMaxTestTime = 30 * 60 * 100000;
    // The device counts the same pulses: its volume sum may differ by the
    // rounding of its units (under one pulse) and a pulse at the phase's
    // edge that the device and the link split differently; two pulses are
    // under 0.03 L, within the 0.050 L a volume must be accurate to.
    static constexpr double kVolumeSumTolerancePulses = 2.0;
    // The device finds time zero from its own peak window and we from 2 ms
    // slots; the pulses within this much of time zero + 1 s, and the volume
    // sum's tolerance, are the first-second tolerance.
    static constexpr std::uint32_t kTimeZeroTolerance = 5000;
    // Peak flow over a few pulses against ours over the same span: the
    // rotor's speed changes little at its peak; a damaged sum differs more.
    static constexpr double kPeakSumToleranceShare = 0.10;
    static constexpr int kPeakWindowPulses = 4;

    // `points` may be null (nothing is drawn).
    ManeuverAssembler(MeasurementStore& store, FlowEngine& engine, CurvePointList* points);

    // Before a test: the sensor coefficients after BTPS correction, the
    // TestType and the slots a wait mark stands for on the plot.
    void Begin(int testType, int expCoefficient, int inspCoefficient, int waitMarkSlots = 0);

    // New coefficients during the test (a temperature report): the pulses
    // from here on are scaled with them.
    void SetCoefficients(int expCoefficient, int inspCoefficient);

    void Pulse(std::uint32_t time, bool expiration);
    // The device's own sums of the phase when `hasSums`: the pulses it
    // counted, those up to its time zero + 1 s, and its peak in pulses/s.
    void PhaseEnd(bool expiration, bool hasSums = false, double volumePulses = 0,
                  double firstSecondPulses = 0, double peakRate = 0);
    void ManeuverEnd();
    void TestEnd();
    void WaitMark();
    void DataLost(int pulses);
    // The test end came inside a manoeuvre (a phase open, or a blow without
    // its breath in): on a link without checksums it may be damage, and the
    // device may still be streaming.
    bool EndedInsideManeuver() const { return m_endedInside; }

    // Replays the samples of a stored test (one manoeuvre, expiration first)
    // exactly as the live test fed them: a change of direction closes a
    // phase. Returns the points a live plot would have drawn.
    static std::vector<CurvePoint> ReplayStored(int expCoefficient, int inspCoefficient,
                                                const PulseStream& samples);

  private:
    enum Phase { kNone = -1, kInspiration = 0, kExpiration = 1 };
    void openPhase(bool expiration);
    struct Sums {
        double volumePulses, firstSecondPulses, peakRate;
    };
    void closePhase(const Sums* sums);
    void checkSums(const Sums& sums, int timeZeroSlot);
    void appendCurrent();

    MeasurementStore& m_store;
    FlowEngine& m_engine;
    CurvePointList* m_points;
    int m_testType = kTestFvc;
    int m_waitMarkSlots = 0;
    std::uint32_t m_lastTime = 0;
    bool m_anyPulse = false;
    int m_lastDirection = 1;
    int m_open = kNone;       // the phase pulses are coming for
    int m_lastClosed = kNone; // the phase closed last in this manoeuvre
    bool m_endedInside = false;
    // Pulses of the manoeuvre so far, by direction: never reset inside it, so
    // that its samples in the stream always add up to its counts.
    int m_expCount = 0;
    int m_inspCount = 0;
    std::vector<std::uint32_t> m_phaseStamps; // of the open phase
    std::vector<int> m_phaseSlots;            // the engine's slot count after each of them
    ManeuverResult m_record;
    ManeuverStatus m_status;
};
