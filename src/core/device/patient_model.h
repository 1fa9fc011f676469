#pragma once
// The breathing of the virtual patient: a sequence of expirations and
// inspirations with flows in L/s at body conditions (BTPS), from which the
// turbine model makes pulses. Each profile knows its own true results, found by
// integrating its flow curve finely, independent of the program's flow engine.
#include <vector>

// One expiration or inspiration. Forced phases rise as 1 - exp(-t/rise) and
// decay as a sum of up to three exponentials; smooth phases are half sines.
struct FlowPhase {
    int expiration = 1; // 1 expiration, 0 inspiration
    double duration = 0.0;
    bool forced = false;
    double amplitude = 0.0; // forced: scale of the decay terms, L/s
    double rise = 0.05;     // forced: rise time constant, s
    double weights[3] = {1.0, 0.0, 0.0};
    double decays[3] = {1.0, 1.0, 1.0};
    double volume = 0.0;         // smooth: volume of the half sine, L
    double hesitation = 0.0;     // forced: s of weak flow before the blast
    double hesitationFlow = 0.0; // L/s during the hesitation
    double plateau = 0.0;        // forced: L/s still blown at the end, after the lungs emptied

    double FlowAt(double t) const; // L/s, 0 outside the phase
    // Volume (L) from the start to time t, integrated numerically.
    double VolumeAt(double t) const;
};

// One manoeuvre or breath cycle: expiration, pause, inspiration, pause.
struct SimBreath {
    FlowPhase expiration;
    double pauseMid = 0.8; // s between the end of expiration and inspiration
    FlowPhase inspiration;
    double pauseAfter = 1.0;
};

// What a perfect instrument would report for the profile.
struct ProfileTruth {
    double fvc = 0, fev1 = 0, pef = 0, fivc = 0, evol = 0; // best forced manoeuvre
    double pif = 0;                                        // and the forced inspiration after it
    double tv = 0, erv = 0, irv = 0, ic = 0, vc = 0;       // slow VC test
    double mvv = 0;                                        // MVV test, L/min
};

enum class SimTest { Fvc = 0, Vc = 1, Mvv = 2 };

class PatientModel {
  public:
    // Profiles: 1 normal adult, 2 obstructive, 3 restrictive, 4 poor start
    // (slow rise, large back-extrapolated volume), 5 early stop, 6 athlete
    // (peak flow 14 L/s), 7 severe obstruction (peak flow 0.7 L/s), 8 trickle
    // end (the flow dies away to a few mL/s), 9 a 20 s blow, 10 child.
    // Profiles 11..20 are the same patients; the number only picks the
    // device's protocol.
    // `mvvBreaths` sets how many cycles an MVV test holds, `fvcBlows` how many
    // manoeuvres an FVC test holds (1..kMaxFvcBlows).
    static constexpr int kMaxFvcBlows = 10; // more than a session keeps
    PatientModel(int profile, SimTest test, int mvvBreaths = 12, int fvcBlows = 3);
    // An FVC test of `fvcBlows` repeats of one forced expiration (profile 0).
    PatientModel(const FlowPhase& blow, int fvcBlows);
    // A calibration syringe instead of a patient: one half-sine stroke of
    // `volume` L at each mean flow of `meanFlows` (L/s, over the middle 90 %
    // of its volume), each followed by a refill at 1 L/s. Its truth is the
    // syringe's volume (fvc).
    static PatientModel Syringe(double volume, const std::vector<double>& meanFlows);

    const std::vector<SimBreath>& Breaths() const { return m_breaths; }
    ProfileTruth Truth() const { return m_truth; }
    int Profile() const { return m_profile; }

    // FEV1, PEF and back-extrapolated volume of one forced expiration, by the
    // usual rule: time zero where the tangent at peak flow meets zero volume.
    static void ForcedTruth(const FlowPhase& phase, double* fev1, double* pef, double* evol);

  private:
    PatientModel() = default;
    static FlowPhase bestBlow(int profile, double* inspiratoryPeak);
    void buildFvc(const FlowPhase& best, double inspiratoryPeak, int blows);
    void buildVc();
    void buildMvv(int breaths);

    int m_profile = 0;
    std::vector<SimBreath> m_breaths;
    ProfileTruth m_truth;
};
