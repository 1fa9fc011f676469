// The accuracy a spirometer must have on 24 forced expirations of rising
// difficulty (waveforms.csv, FlowPhase parameters; the truth is the curve's
// own): FVC and FEV1 within 3 % or 0.050 L, PEF within 10 % or 0.30 L/s,
// (a) through the flow engine fed by an ideal turbine, (b) through the
// virtual device with its physical rotor on both links. Prints the table.
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

class WaveformTest : public DeviceTest, public ::testing::WithParamInterface<int> {};

TEST_P(WaveformTest, MeetsTheAccuracyOfASpirometer)
{
    static const auto all = waveforms();
    ASSERT_EQ(all.size(), 24u) << WAVEFORMS_FILE;
    const auto& [name, blow] = all[GetParam()];
    double truth[3] = {blow.VolumeAt(blow.duration)}, evol = 0; // FVC, FEV1, PEF
    PatientModel::ForcedTruth(blow, &truth[1], &truth[2], &evol);
    auto check = [&](const char* path, double fvc, double fev1, double pef) {
        const double value[3] = {fvc, fev1, pef};
        for (int i = 0; i < 3; ++i) {
            const char* what[] = {"FVC", "FEV1", "PEF"};
            std::printf("%-8s %-26s %-4s %7.3f %7.3f %+6.1f %%\n", path, name.c_str(), what[i],
                        value[i], truth[i], 100.0 * (value[i] / truth[i] - 1.0));
            const double limit = i < 2 ? std::max(0.03 * truth[i], 0.050)
                                       : std::max(0.10 * truth[i], 0.30);
            EXPECT_NEAR(value[i], truth[i], limit) << path << " " << what[i];
        }
    };

    PulseStream ideal;
    const int n = AppendIdealPulses(
        ideal, [&](double t) { return blow.VolumeAt(t); }, blow.duration,
        FlowEngine::ExpiratoryPulseVolume(145), 0.5, kDirectionExpiration);
    const FlowPhaseResult r = EngineDriver().phase(ideal, 0, n, true);
    check("ideal", r.fvc, r.fev1, r.pef);

    for (SimProtocol protocol : {SimProtocol::Checksum, SimProtocol::Ascii}) {
        SimConfig config;
        config.protocol = protocol;
        config.blow = blow;
        config.fvcBlows = 1;
        ASSERT_TRUE(run(config, LiveTestSession::kSilenceLimitMs, false).finished);
        const ManeuverList blows = TestParts().store.Maneuvers();
        ASSERT_FALSE(blows.empty());
        const ManeuverResult& m = blows.front();
        check(protocol == SimProtocol::Ascii ? "ascii" : "checksum", m.FVC, m.FEV1, m.PEF);
    }
}

INSTANTIATE_TEST_SUITE_P(Waveforms, WaveformTest, ::testing::Range(0, 24));
