// The accuracy a spirometer must have on 24 forced expirations of rising
// difficulty (waveforms.csv, FlowPhase parameters; the truth is the curve's
// own): FVC and FEV1 within 3 % or 0.050 L, PEF within 10 % or 0.30 L/s,
// through the virtual device with its physical rotor. (That each link carries
// the same blow: TransportEquivalenceTest and the golden streams.) The flow
// engine's correction (its low-flow lift and the overrun it subtracts after
// the peak) is made for a rotor that slips and overruns: fed by an ideal
// turbine it reads large lungs 3 to 5 % low, and behind our rotor small,
// low-flow lungs read a few percent high. The waveforms outside the accuracy
// may not grow past the count below.
#include "device_fixture.h"
#include "support/data_table.h"
#include "core/measure/flow_engine.h"

#include "core/clinical/maneuver_acceptability.h"
#include "core/session/blow_coach.h"

#include <algorithm>

#include <cmath>

namespace {

// The forced expirations of waveforms.csv, by name.
std::vector<std::pair<std::string, FlowPhase>> waveforms()
{
    std::vector<std::pair<std::string, FlowPhase>> all;
    for (const DataRow& row : ReadDataTable(WAVEFORMS_FILE)) {
        FlowPhase p;
        p.forced = true;
        double* fields[] = {&p.amplitude, &p.rise,       p.weights,     p.weights + 1,
                            p.weights + 2, p.decays,     p.decays + 1,  p.decays + 2,
                            &p.duration,  &p.plateau,    &p.hesitation, &p.hesitationFlow};
        const char* columns[] = {"amplitude", "rise",     "weight1",  "weight2",    "weight3",   "decay1",
                                 "decay2",    "decay3",   "duration", "plateau",    "hesitation", "hesitationFlow"};
        for (int i = 0; i < 12; ++i)
            *fields[i] = row.number(columns[i]);
        all.emplace_back(row["name"].toStdString(), p);
    }
    return all;
}

} // namespace

class WaveformTest : public DeviceTest, public ::testing::WithParamInterface<int> {
  protected:
    // Over: the child and the 0.5 L/s obstruction (the low-flow lift); under:
    // the mild obstruction, the long tail and the blow going on at 20 mL/s
    // (the overrun subtracted all through a long fall).
    static constexpr int kKnownOutside = 5;
    static inline int outside = 0;          // waveforms read outside the accuracy so far
};

TEST_P(WaveformTest, MeetsTheAccuracyOfASpirometer)
{
    static const auto all = waveforms();
    ASSERT_EQ(all.size(), 24u) << WAVEFORMS_FILE;
    const auto& [name, blow] = all[GetParam()];
    double truth[3] = {blow.VolumeAt(blow.duration)}, evol = 0; // FVC, FEV1, PEF
    PatientModel::ForcedTruth(blow, &truth[1], &truth[2], &evol);
    // True when all are within the accuracy.
    auto within = [&](double fvc, double fev1, double pef) {
        const double value[3] = {fvc, fev1, pef};
        bool all = true;
        for (int i = 0; i < 3; ++i) {
            const double limit = i < 2 ? std::max(0.03 * truth[i], 0.050)
                                       : std::max(0.10 * truth[i], 0.30);
            all = all && std::fabs(value[i] - truth[i]) <= limit;
        }
        return all;
    };

    SimConfig config;
    config.blow = blow;
    config.fvcBlows = 1;
    ASSERT_TRUE(run(config, LiveTestSession::kSilenceLimitMs, false).finished);
    const ManeuverList blows = TestParts().store.Maneuvers();
    ASSERT_FALSE(blows.empty());
    if (!within(blows.front().FVC, blows.front().FEV1, blows.front().PEF))
        ++outside;
    EXPECT_LE(outside, kKnownOutside) << name << " is one more waveform outside the accuracy";
}

INSTANTIATE_TEST_SUITE_P(Waveforms, WaveformTest, ::testing::Range(0, 24));

// The coach's cues on four kinds of blow (a waveform, or the first blow of a
// virtual patient), through the virtual device with a rotor that has no
// inertia, against the moments the blow's own curve shows, in time from its
// first pulse: the blast over when the flow has fallen to half its peak, the
// end at a plateau or 15 s, an early stop when the flow ends before both, a
// slow start when the curve's back-extrapolated volume is over the limit.
struct CoachCase {
    const char* waveform;
    int profile; // 0: the waveform
};

void PrintTo(const CoachCase& c, std::ostream* os)
{
    *os << (c.profile ? "profile " + std::to_string(c.profile) : std::string(c.waveform));
}

class CoachCueTest : public DeviceTest, public ::testing::WithParamInterface<CoachCase> {};

TEST_P(CoachCueTest, CuesComeWhenTheCurveShowsThem)
{
    static const auto all = waveforms();
    FlowPhase blow = PatientModel(std::max(1, GetParam().profile), SimTest::Fvc).Breaths()[0].expiration;
    if (!GetParam().profile) {
        const auto it = std::find_if(all.begin(), all.end(),
                                     [](const auto& w) { return w.first == GetParam().waveform; });
        ASSERT_NE(it, all.end()) << GetParam().waveform;
        blow = it->second;
    }
    SimConfig config;
    config.blow = blow;
    config.fvcBlows = 1;
    config.rotor = RotorPhysics::Ideal();
    const Outcome out = run(config);
    ASSERT_TRUE(out.finished);
    const double pulse = FlowEngine::ExpiratoryPulseVolume(out.saved.header.expCoefficient);

    // The curve, millisecond by millisecond, and the pulses an ideal turbine makes of it.
    constexpr double dt = 0.001;
    double pef = 0, peak = 0, first = -1, half = -1, plateau = -1;
    std::vector<double> pulses;
    for (double t = dt; t <= blow.duration; t += dt) {
        if (blow.FlowAt(t) > pef)
            pef = blow.FlowAt(t), peak = t;
        if (blow.VolumeAt(t) >= (pulses.size() + 1) * pulse)
            pulses.push_back(t);
    }
    first = pulses.front();
    for (double t = peak; t <= blow.duration && half < 0; t += dt)
        if (blow.FlowAt(t) <= pef / 2)
            half = t;
    for (double t = 1; t <= blow.duration && plateau < 0; t += dt)
        if (IsPlateau(blow.VolumeAt(t) - blow.VolumeAt(t - 1)))
            plateau = t;
    double fev1 = 0, bev = 0, peakFlow = 0;
    PatientModel::ForcedTruth(blow, &fev1, &peakFlow, &bev);
    std::vector<std::pair<Cue, double>> expected = {
        {Cue::Inhale, 0}, {Cue::Blast, 0}, {Cue::KeepGoing, half - first}};
    double end = blow.duration - first;
    Cue endCue = Cue::EarlyStop;
    if (plateau >= 0 && plateau - first < kLongExpiration)
        end = plateau - first, endCue = Cue::EndReached;
    else if (blow.duration - first >= kLongExpiration)
        end = kLongExpiration, endCue = Cue::EndReached;
    expected.push_back({endCue, end});
    if (BevTooLarge(bev, blow.VolumeAt(blow.duration)))
        expected.push_back({Cue::SlowStart, end});
    // Tolerances: the flow is seen over four pulses; the 1 s plateau only at
    // a pulse and to within a pulse's volume, so up to the second pulse after
    // the curve's own plateau; the rest within the 50 ms a pulse takes at the end.
    const double flowLag = 4 * pulse / (pef / 2);
    const auto next = std::upper_bound(pulses.begin(), pulses.end(), plateau);
    const double plateauLag = next + 1 < pulses.end() ? *(next + 1) - plateau : 0.05;

    BlowCoach coach(kTestFvc, out.saved.header.expCoefficient);
    coach.Feed(TestParts().store.Pulses());
    coach.Finish();
    ASSERT_EQ(coach.Blows().size(), 1u);
    const BlowCues& cues = coach.Blows().front();
    QStringList seen;
    for (const TimedCue& c : cues)
        seen << QString("%1@%2").arg(CueName(c.cue)).arg(c.t, 0, 'f', 3);
    ASSERT_EQ(cues.size(), expected.size()) << seen.join(' ').toStdString();
    for (size_t i = 0; i < cues.size(); ++i) {
        const auto [cue, t] = expected[i];
        EXPECT_EQ(cues[i].cue, cue) << seen.join(' ').toStdString();
        const bool atPlateau = (cue == Cue::EndReached || cue == Cue::SlowStart) && t < kLongExpiration;
        const double lag = cue == Cue::KeepGoing ? flowLag : atPlateau ? plateauLag : 0.05;
        EXPECT_NEAR(cues[i].t, t, lag) << CueName(cue) << " " << seen.join(' ').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Blows, CoachCueTest,
                         ::testing::Values(CoachCase{"normal man", 0}, CoachCase{"", 4},
                                           CoachCase{"early stop", 0}, CoachCase{"20 s blow", 0}));

// Damaged pulses: a lone breath in before any blow, time stamps that repeat
// or go back, a second Finish: the cues stay in order and inside the blow.
TEST(BlowCoach, DamagedPulsesLeaveTheCuesSane)
{
    PulseStream pulses = {{500, kDirectionInspiration}};
    for (std::uint32_t t = 1000; t < 60000; t += 400)
        pulses.push_back({t, kDirectionExpiration});
    pulses.push_back({30000, kDirectionExpiration}); // back in time
    pulses.push_back({60000, kDirectionExpiration}); // the same time twice
    BlowCoach coach(kTestFvc, 145);
    coach.Feed(pulses);
    coach.Finish();
    coach.Finish();
    ASSERT_EQ(coach.Blows().size(), 1u);
    const BlowCues& cues = coach.Blows().front();
    auto has = [&](Cue cue) {
        return std::any_of(cues.begin(), cues.end(), [cue](const TimedCue& c) { return c.cue == cue; });
    };
    EXPECT_TRUE(has(Cue::EarlyStop));
    EXPECT_FALSE(has(Cue::EndReached)); // 0.6 s: neither a plateau nor 15 s
    for (size_t i = 1; i < cues.size(); ++i)
        EXPECT_LE(cues[i - 1].t, cues[i].t);
    EXPECT_LE(cues.back().t, 0.6);
    EXPECT_EQ(coach.Fed(), int(pulses.size()));
}
