// The accuracy a spirometer must have on 24 forced expirations of rising
// difficulty (waveforms.csv, FlowPhase parameters; the truth is the curve's
// own): FVC and FEV1 within 3 % or 0.050 L, PEF within 10 % or 0.30 L/s,
// through the virtual device with its physical rotor, the same on both
// links. The flow engine's correction (its low-flow lift and the overrun it
// subtracts after the peak) is made for a rotor that slips and overruns: fed
// by an ideal turbine it reads large lungs 3 to 5 % low, and behind our rotor
// small, low-flow lungs read a few percent high. Both are printed; the
// waveforms outside the accuracy may not grow past the count below.
#include "device_fixture.h"
#include "measure/engine_driver.h"

#include <QFile>

#include <cmath>
#include <cstdio>

namespace {

std::vector<std::pair<std::string, FlowPhase>> waveforms()
{
    std::vector<std::pair<std::string, FlowPhase>> all;
    QFile file(WAVEFORMS_FILE);
    if (!file.open(QIODevice::ReadOnly))
        return all;
    for (const QByteArray& line : file.readAll().split('\n').mid(1)) {
        const QList<QByteArray> f = line.split(',');
        if (f.size() != 13)
            continue;
        FlowPhase p;
        p.forced = true;
        double* fields[] = {&p.amplitude, &p.rise,       p.weights,     p.weights + 1,
                            p.weights + 2, p.decays,     p.decays + 1,  p.decays + 2,
                            &p.duration,  &p.plateau,    &p.hesitation, &p.hesitationFlow};
        for (int i = 0; i < 12; ++i)
            *fields[i] = f[i + 1].toDouble();
        all.emplace_back(f[0].toStdString(), p);
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
    // Prints the values; true when all are within the accuracy.
    auto within = [&](const char* path, double fvc, double fev1, double pef) {
        const double value[3] = {fvc, fev1, pef};
        bool all = true;
        for (int i = 0; i < 3; ++i) {
            const char* what[] = {"FVC", "FEV1", "PEF"};
            const double limit = i < 2 ? std::max(0.03 * truth[i], 0.050)
                                       : std::max(0.10 * truth[i], 0.30);
            const bool ok = std::fabs(value[i] - truth[i]) <= limit;
            all = all && ok;
            std::printf("%-8s %-26s %-4s %7.3f %7.3f %+6.1f %%%s\n", path, name.c_str(), what[i],
                        value[i], truth[i], 100.0 * (value[i] / truth[i] - 1.0), ok ? "" : " *");
        }
        return all;
    };

    PulseStream ideal;
    const int n = AppendIdealPulses(
        ideal, [&](double t) { return blow.VolumeAt(t); }, blow.duration,
        FlowEngine::ExpiratoryPulseVolume(145), 0.5, kDirectionExpiration);
    const FlowPhaseResult r = EngineDriver().phase(ideal, 0, n, true);
    within("ideal", r.fvc, r.fev1, r.pef);

    ManeuverResult onLink[2];
    for (SimProtocol protocol : {SimProtocol::Checksum, SimProtocol::Ascii}) {
        SimConfig config;
        config.protocol = protocol;
        config.blow = blow;
        config.fvcBlows = 1;
        ASSERT_TRUE(run(config, LiveTestSession::kSilenceLimitMs, false).finished);
        const ManeuverList blows = TestParts().store.Maneuvers();
        ASSERT_FALSE(blows.empty());
        onLink[int(protocol)] = blows.front();
    }
    // One rotor, one engine: both links give the same blow.
    EXPECT_EQ(onLink[0].FVC, onLink[1].FVC);
    EXPECT_EQ(onLink[0].FEV1, onLink[1].FEV1);
    EXPECT_EQ(onLink[0].PEF, onLink[1].PEF);
    if (!within("device", onLink[0].FVC, onLink[0].FEV1, onLink[0].PEF))
        ++outside;
    EXPECT_LE(outside, kKnownOutside) << name << " is one more waveform outside the accuracy";
}

INSTANTIATE_TEST_SUITE_P(Waveforms, WaveformTest, ::testing::Range(0, 24));
