#include "core/device/patient_model.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
// Step of the numerical integrations behind the true values.
constexpr double kStep = 1e-5;
// A blow that empties the lungs ends on a plateau: the patient keeps blowing
// at about 6 mL/s for the last seconds, which is what tells the end of the test.
constexpr double kPlateauFlow = 0.006;

FlowPhase forced(double amplitude, double rise, std::initializer_list<double> weights,
                 std::initializer_list<double> decays, double duration)
{
    FlowPhase p;
    p.expiration = 1;
    p.forced = true;
    p.amplitude = amplitude;
    p.rise = rise;
    std::copy(weights.begin(), weights.end(), p.weights);
    std::copy(decays.begin(), decays.end(), p.decays);
    p.duration = duration;
    return p;
}

FlowPhase smooth(int expiration, double volume, double duration)
{
    FlowPhase p;
    p.expiration = expiration;
    p.volume = volume;
    p.duration = duration;
    return p;
}

FlowPhase scaled(FlowPhase p, double factor)
{
    p.amplitude *= factor;
    p.volume *= factor;
    return p;
}

} // namespace

double FlowPhase::FlowAt(double t) const
{
    if (t < 0.0 || t > duration)
        return 0.0;
    if (!forced)
        return volume * kPi / (2.0 * duration) * std::sin(kPi * t / duration);
    if (t < hesitation)
        return hesitationFlow;
    t -= hesitation;
    double decay = 0.0;
    for (int i = 0; i < 3; ++i)
        decay += weights[i] * std::exp(-t / decays[i]);
    return (amplitude * decay + plateau) * (1.0 - std::exp(-t / rise));
}

double FlowPhase::VolumeAt(double t) const
{
    t = std::min(t, duration);
    if (t <= 0.0)
        return 0.0;
    if (!forced)
        return volume / 2.0 * (1.0 - std::cos(kPi * t / duration));
    if (t < hesitation)
        return hesitationFlow * t;
    const double before = hesitationFlow * hesitation;
    t -= hesitation;
    // Closed form of the integral of (A e^(-t/d) + P) (1 - e^(-t/r)) over 0..t.
    double v = 0.0;
    for (int i = 0; i < 3; ++i) {
        if (weights[i] == 0.0)
            continue;
        const double d = decays[i];
        const double c = rise * d / (rise + d);
        v += weights[i] * (d * (1.0 - std::exp(-t / d)) - c * (1.0 - std::exp(-t / c)));
    }
    return before + amplitude * v + plateau * (t - rise * (1.0 - std::exp(-t / rise)));
}

void PatientModel::ForcedTruth(const FlowPhase& phase, double* fev1, double* pef, double* evol)
{
    double peak = 0.0, tPeak = 0.0;
    for (double t = 0.0; t <= phase.duration; t += kStep) {
        const double f = phase.FlowAt(t);
        if (f > peak) {
            peak = f;
            tPeak = t;
        }
    }
    const double t0 = std::max(0.0, tPeak - phase.VolumeAt(tPeak) / peak);
    *pef = peak;
    *evol = phase.VolumeAt(t0);
    *fev1 = phase.VolumeAt(t0 + 1.0);
}

PatientModel::PatientModel(int profile, SimTest test, int mvvBreaths, int fvcBlows)
    : m_profile(profile > 10 ? profile - 10 : profile)
{
    if (m_profile < 1 || m_profile > 10)
        m_profile = 1;
    switch (test) {
    case SimTest::Fvc: {
        double inspiratoryPeak = 0.0;
        const FlowPhase best = bestBlow(m_profile, &inspiratoryPeak);
        buildFvc(best, inspiratoryPeak, std::clamp(fvcBlows, 1, kMaxFvcBlows));
        break;
    }
    case SimTest::Vc:
        buildVc();
        break;
    case SimTest::Mvv:
        buildMvv(mvvBreaths);
        break;
    }
}

PatientModel PatientModel::Syringe(double volume, const std::vector<double>& meanFlows)
{
    PatientModel model;
    // The share of a half sine's duration that carries the middle 90 % of
    // its volume: the stroke's flow there is the one asked for.
    const double middle = 1.0 - 2.0 * std::acos(0.9) / kPi;
    for (const double flow : meanFlows) {
        SimBreath b;
        b.expiration = smooth(1, volume, 0.9 * volume / (flow * middle));
        b.inspiration = smooth(0, volume, volume / 1.0);
        model.m_breaths.push_back(b);
    }
    model.m_truth.fvc = volume;
    return model;
}

PatientModel::PatientModel(const FlowPhase& blow, int fvcBlows) : m_profile(0)
{
    double fev1 = 0.0, pef = 0.0, evol = 0.0;
    ForcedTruth(blow, &fev1, &pef, &evol);
    buildFvc(blow, pef, std::clamp(fvcBlows, 1, kMaxFvcBlows)); // healthy lungs: PIF near PEF
}

FlowPhase PatientModel::bestBlow(int profile, double* inspiratoryPeak)
{
    // The breath in after a forced blow is forced too: its peak flow is near
    // the peak expiratory flow of healthy lungs; obstructed airways narrow on
    // breathing out more than on breathing in, so theirs is the larger one.
    *inspiratoryPeak = 6.0;
    FlowPhase best;
    switch (profile) {
    case 2: // obstructive: low peak, long slow tail
        best = forced(4.2, 0.05, {0.45, 0.40, 0.15}, {0.18, 1.0, 3.5}, 9.0);
        best.plateau = kPlateauFlow;
        *inspiratoryPeak = 3.6;
        break;
    case 3: // restrictive: small volume, fast emptying
        best = forced(7.2, 0.03, {0.65, 0.35, 0.0}, {0.17, 0.45, 1.0}, 5.0);
        best.plateau = kPlateauFlow;
        *inspiratoryPeak = 4.3;
        break;
    case 4: { // poor start: the same lungs as 1, a hesitant start and a slow rise
        best = forced(9.0, 0.10, {0.60, 0.38, 0.02}, {0.25, 0.7, 0.9}, 8.3);
        best.plateau = kPlateauFlow;
        best.hesitation = 0.3;
        best.hesitationFlow = 0.8;
        // The hesitation and the slow rise change when the gas comes, not
        // how much the lungs hold: the blow empties them as far as profile 1.
        FlowPhase normal = forced(9.0, 0.03, {0.60, 0.38, 0.02}, {0.25, 0.7, 0.9}, 8.0);
        normal.plateau = kPlateauFlow;
        const double before = best.hesitation * best.hesitationFlow;
        best.amplitude *= (normal.VolumeAt(normal.duration) - before) /
                          (best.VolumeAt(best.duration) - before);
        break;
    }
    case 5: // early stop: the same lungs as 1, blowing ends after 1.6 s
        best = forced(9.0, 0.03, {0.60, 0.38, 0.02}, {0.25, 0.7, 0.9}, 1.6);
        break;
    case 6: // athlete: large lungs, peak flow about 14 L/s
        best = forced(19.4, 0.025, {0.65, 0.33, 0.02}, {0.2, 0.6, 1.2}, 7.0);
        best.plateau = kPlateauFlow;
        *inspiratoryPeak = 11.0;
        break;
    case 7: // severe obstruction: peak flow below 1 L/s, a 14 s blow
        best = forced(0.9, 0.08, {0.3, 0.4, 0.3}, {0.4, 1.8, 4.5}, 14.0);
        best.plateau = kPlateauFlow;
        *inspiratoryPeak = 2.5;
        break;
    case 8: // trickle end: no plateau, the flow dies away to 3 mL/s
        best = forced(7.5, 0.03, {0.60, 0.34, 0.06}, {0.2, 0.6, 1.8}, 9.0);
        break;
    case 9: // a 20 s blow: obstructed lungs that empty slowly
        best = forced(2.8, 0.04, {0.55, 0.25, 0.2}, {0.3, 1.5, 6.0}, 20.0);
        best.plateau = kPlateauFlow;
        *inspiratoryPeak = 3.0;
        break;
    case 10: // child: small lungs that empty within 2 s, blowing on for 6 s
        best = forced(4.6, 0.02, {0.7, 0.3, 0.0}, {0.18, 0.45, 1.0}, 6.0);
        best.plateau = kPlateauFlow;
        *inspiratoryPeak = 3.0;
        break;
    default: // normal adult, blowing on long enough for 15 mL pulses to show the plateau
        best = forced(9.0, 0.03, {0.60, 0.38, 0.02}, {0.25, 0.7, 0.9}, 8.0);
        best.plateau = kPlateauFlow;
        break;
    }
    return best;
}

void PatientModel::buildFvc(const FlowPhase& best, double inspiratoryPeak, int blows)
{
    // The first blow is the best one; the others are a little weaker, as a
    // cooperative patient repeats a blow (the two largest FVC and FEV1 within
    // 0.150 L of each other). The early stopper gives up sooner each time.
    const double factors[kMaxFvcBlows] = {1.0,  0.98, 0.965, 0.975, 0.96,
                                           0.985, 0.97, 0.955, 0.975, 0.965};
    const double stops[kMaxFvcBlows] = {1.6, 1.2, 1.0,  1.3,  1.1,
                                         1.4, 0.9, 1.15, 1.25, 1.05};
    for (int i = 0; i < blows; ++i) {
        SimBreath b;
        b.expiration = scaled(best, factors[i]);
        if (m_profile == 5)
            b.expiration.duration = stops[i];
        b.pauseMid = 0.8;
        const double fvc = b.expiration.VolumeAt(b.expiration.duration);
        b.inspiration = smooth(0, fvc * 0.95, kPi * fvc * 0.95 / (2.0 * inspiratoryPeak));
        b.pauseAfter = 1.5;
        m_breaths.push_back(b);
    }
    m_truth.fvc = best.VolumeAt(best.duration);
    m_truth.fivc = m_truth.fvc * 0.95;
    m_truth.pif = inspiratoryPeak;
    ForcedTruth(best, &m_truth.fev1, &m_truth.pef, &m_truth.evol);
}

void PatientModel::buildVc()
{
    // The same lungs as the forced test: a slow breath out empties them as
    // far as a forced one, except that obstructed airways close early when
    // forced (air trapping), so their slow VC is the larger.
    const int lungs = m_profile == 5 ? 1 : m_profile; // stopping early is no lung disease
    const double fvc = PatientModel(lungs, SimTest::Fvc).Truth().fvc;
    const bool trapping = lungs == 2 || lungs == 7 || lungs == 9;
    const double vc = trapping ? fvc * 1.10 : fvc;
    // Tidal volume, and the share of the rest below the tidal breaths.
    double tv = 0.6, ervShare = 0.33;
    if (trapping) {
        ervShare = 0.26;
    } else if (lungs == 3 || lungs == 10) {
        tv = 0.40;
        ervShare = 0.35;
    }
    const double erv = (vc - tv) * ervShare;
    const double irv = vc - tv - erv;
    auto breath = [&](double expVolume, double expTime, double inspVolume, double inspTime) {
        SimBreath b;
        b.expiration = smooth(1, expVolume, expTime);
        b.pauseMid = 0.7;
        b.inspiration = smooth(0, inspVolume, inspTime);
        b.pauseAfter = 0.7;
        m_breaths.push_back(b);
    };
    for (int i = 0; i < 6; ++i)
        breath(tv, 1.8, tv, 1.5);
    // Down to residual volume, straight up to total lung capacity, then back
    // to the level the tidal breathing started from.
    breath(tv + erv, 3.5, erv + tv + irv, 4.0);
    breath(irv + tv, 3.0, tv, 1.5);
    for (int i = 0; i < 2; ++i)
        breath(tv, 1.8, tv, 1.5);
    m_truth.tv = tv;
    m_truth.erv = erv;
    m_truth.irv = irv;
    m_truth.ic = irv + tv;
    m_truth.vc = vc;
}

void PatientModel::buildMvv(int breaths)
{
    double volume = 1.6;
    if (m_profile == 2 || m_profile == 9)
        volume = 1.1;
    else if (m_profile == 3 || m_profile == 7 || m_profile == 10)
        volume = 0.8;
    else if (m_profile == 6)
        volume = 2.4;
    double total = 0.0, time = 0.0;
    for (int i = 0; i < breaths; ++i) {
        SimBreath b;
        b.expiration = smooth(1, volume, 0.5);
        b.pauseMid = 0.0;
        b.inspiration = smooth(0, volume, 0.5);
        b.pauseAfter = 0.0;
        m_breaths.push_back(b);
        total += volume;
        time += 1.0;
    }
    // MVV: the volume breathed out per minute.
    m_truth.mvv = time > 0.0 ? total * 60.0 / time : 0.0;
}
