#pragma once
// Turns turbine pulse intervals into a flow signal in 2 ms slots, corrects it
// for the turbine's inertia, and computes the timed values of one phase
// (an expiration or an inspiration). Fixed arrays: no allocation per pulse.
#include <array>
#include <cstdint>

// Timed values of one finished phase. For an inspiration fvc, fev1 and pef
// are FIVC, FIV1 and PIF.
struct FlowPhaseResult {
    float fvc = 0;  // L
    float fev1 = 0; // L, from the start of the blow to time zero + 1 s
    float fev3 = 0;
    float fev6 = 0;
    float fev1Fvc = 0; // percent
    float pef = 0;     // L/s, largest corrected flow
    float fef25 = 0;   // L/s
    float fef50 = 0;
    float fef75 = 0;
    float fef2575 = 0;
    float fet = 0;             // s, from time zero to the end of the phase
    float evol = 0;            // L, back-extrapolated volume
    std::int32_t evolMl = 0;   // mL, truncated
    float totalTime = 0;       // s, length of the phase
    std::int32_t duration = 0; // whole seconds of the phase, rounded
    std::int32_t timeZero = 0; // slot index of the back-extrapolated start
};

class FlowEngine {
  public:
    static constexpr int kMaxSlots = 32768; // 65.5 s of 2 ms slots
    static constexpr int kRingSize = 1024;
    static constexpr int kMaxSlotsPerPulse = 511;
    static constexpr std::uint32_t kSlotTime = 200; // 2 ms in 10 us units

    FlowEngine();

    // Per-pulse volumes in litres from the BTPS-corrected sensor coefficients.
    static double ExpiratoryPulseVolume(int expCoefficient);
    static double InspiratoryPulseVolume(int inspCoefficient);

    // Sets both per-pulse volumes; the current direction's one takes effect at once.
    void SetCoefficients(int expCoefficient, int inspCoefficient);
    // Sets the per-pulse volumes directly (litres per pulse).
    void SetPulseVolumes(double expVolume, double inspVolume);

    // Restores every initial value of a phase (the per-pulse volumes stay).
    void ResetEngine();
    // 1 selects the inspiratory per-pulse volume, anything else the expiratory
    // one (note: a PulseSample direction of 1 means expiration). Resets the
    // previous interval.
    void SetDirection(int direction);
    // One pulse: dt is the difference of consecutive time stamps (10 us units).
    // Returns the number of 2 ms slots it produced. An interval over 0.6 s
    // (a trickle) gives its slots the pulse's mean flow, uncorrected.
    int FeedInterval(std::uint32_t dt);

    // Closes the phase and computes its timed values.
    FlowPhaseResult FinishPhase();
    FlowPhaseResult FinishExpiration() { return FinishPhase(); }
    FlowPhaseResult FinishInspiration() { return FinishPhase(); }

    // Slots of the current phase (the last phase until the next reset).
    int SlotCount() const { return m_slotCount; }
    float Slot(int i) const { return m_flow[i]; }       // corrected flow, L/s
    float RawSlot(int i) const { return m_rawFlow[i]; } // uncorrected flow, L/s
    const float* Slots() const { return m_flow.data(); }
    const float* RawSlots() const { return m_rawFlow.data(); }

    // What the last FeedInterval produced, for the live point list.
    int SlotsOfLastPulse() const { return m_slotsThisCall; }
    float LastSlotFlow() const { return m_lastFlow; } // 0 when the last pulse produced none

    double PulseVolume() const { return m_k; }
    double Volume() const { return m_volume; } // k per pulse
    double Pef() const { return m_pef; }
    double MaxRawFlow() const { return m_maxRaw; }
    double FirstSecondRawVolume() const { return m_firstSecondRaw; }
    bool Stopped() const { return m_stopped != 0; }
    bool PastPeak() const { return m_pastPeak != 0; } // flow fell > 1 L/s below its largest value
    int PeakSlot() const { return m_peakSlot; }

  private:
    void interpolate(std::uint32_t dt);
    void trickle(std::uint32_t dt);
    void takeSlot(double flow);
    void storeSlot(double flow, double corrected);
    void detectExtreme(double flow);
    double correct(double flow);

    double m_kExp;
    double m_kInsp;
    double m_k;
    bool m_inspiratory = false;

    std::uint32_t m_prevInterval = 5000; // pulse intake's previous interval
    std::uint32_t m_interpPrev = 5000;   // interpolator's own copy: the previous pulse's interval
    double m_prevRate = 0;
    std::uint32_t m_carry = 0;
    std::array<double, kRingSize> m_ring{};
    int m_ringIndex = 15;

    std::array<float, kMaxSlots> m_flow{};
    std::array<float, kMaxSlots> m_rawFlow{};
    int m_slotCount = 0; // stored slots
    int m_slotTotal = 0; // every slot of the phase, stored or not
    int m_slotsThisCall = 0;
    float m_lastFlow = 0;

    int m_slowCount = 0;
    int m_stopped = 0;
    double m_volume = 0;
    double m_fvcSum = 0;
    double m_firstSecondRaw = 0;
    double m_pef = 0;
    double m_maxRaw = 0;
    double m_peakFlow = 0; // largest stored q
    int m_peakSlot = 0;
    int m_pastPeak = 0;

    double m_s = 0.98;
    double m_prevS = 0.98;

    int m_detectorState = 0; // 0 rising, 1 falling
    double m_extreme = 0;
    int m_extremeSlot = 0;
    double m_valley = 50.0;
    int m_valleySlot = 0;
    double m_offset = 50.0;

    int m_index1s = 32767;
    int m_index3s = 32767;
    int m_index6s = 32767;
    int m_timeZero = 0;
};
