// The accuracy a spirometer must have, on 24 flow-time curves of rising
// difficulty (waveforms.json): FVC and FEV1 within 3 % or 0.050 L, PEF
// within 10 % or 0.30 L/s of the curve's own truth, (a) through the flow
// engine fed by an ideal turbine, (b) through the virtual device with its
// physical rotor on both protocols.
#include "device_fixture.h"
#include "measure/engine_driver.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

struct Waveform {
    std::string name;
    FlowPhase phase;
};

std::vector<Waveform> loadWaveforms()
{
    QFile file(WAVEFORMS_FILE);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    std::vector<Waveform> all;
    for (const QJsonValue& value : QJsonDocument::fromJson(file.readAll()).array()) {
        const QJsonObject o = value.toObject();
        Waveform w{o["name"].toString().toStdString(), {}};
        FlowPhase& p = w.phase;
        p.forced = true;
        p.amplitude = o["amplitude"].toDouble();
        p.rise = o["rise"].toDouble();
        p.duration = o["duration"].toDouble();
        p.plateau = o["plateau"].toDouble();
        p.hesitation = o["hesitation"].toDouble();
        p.hesitationFlow = o["hesitationFlow"].toDouble();
        for (int i = 0; i < 3; ++i) {
            p.weights[i] = o["weights"].toArray()[i].toDouble();
            p.decays[i] = o["decays"].toArray()[i].toDouble();
        }
        all.push_back(w);
    }
    return all;
}

const std::vector<Waveform>& waveforms()
{
    static const std::vector<Waveform> all = loadWaveforms();
    return all;
}

// Prints one row of the table and checks the value against the truth.
void check(const char* path, const std::string& name, const char* what, double value,
           double truth, double share, double floor)
{
    std::printf("%-9s %-28s %-4s %7.3f %7.3f %+6.1f %%\n", path, name.c_str(), what, value, truth,
                100.0 * (value - truth) / truth);
    EXPECT_NEAR(value, truth, std::max(share * truth, floor)) << path << " " << what;
}

} // namespace

class WaveformTest : public DeviceTest, public ::testing::WithParamInterface<int> {};

TEST_P(WaveformTest, MeetsTheAccuracyOfASpirometer)
{
    ASSERT_EQ(waveforms().size(), 24u) << WAVEFORMS_FILE;
    const Waveform& w = waveforms()[GetParam()];
    double fev1 = 0, pef = 0, evol = 0;
    PatientModel::ForcedTruth(w.phase, &fev1, &pef, &evol);
    const double fvc = w.phase.VolumeAt(w.phase.duration);
    auto checkAll = [&](const char* path, double mFvc, double mFev1, double mPef) {
        check(path, w.name, "FVC", mFvc, fvc, 0.03, 0.050);
        check(path, w.name, "FEV1", mFev1, fev1, 0.03, 0.050);
        check(path, w.name, "PEF", mPef, pef, 0.10, 0.30);
    };

    const double k = FlowEngine::ExpiratoryPulseVolume(145);
    PulseStream ideal;
    const int n = AppendIdealPulses(
        ideal, [&](double t) { return w.phase.VolumeAt(t); }, w.phase.duration, k, 0.5,
        kDirectionExpiration);
    EngineDriver driver;
    const FlowPhaseResult r = driver.phase(ideal, 0, n, true);
    checkAll("ideal", r.fvc, r.fev1, r.pef);

    for (SimProtocol protocol : {SimProtocol::Checksum, SimProtocol::Ascii}) {
        SimConfig config;
        config.protocol = protocol;
        config.blow = w.phase;
        config.fvcBlows = 1;
        const Outcome out = run(config, LiveTestSession::kSilenceLimitMs, false);
        ASSERT_TRUE(out.finished);
        const ManeuverList blows = TestParts().store.Maneuvers();
        ASSERT_FALSE(blows.empty());
        const ManeuverResult& m = blows.front();
        checkAll(protocol == SimProtocol::Ascii ? "ascii" : "checksum", m.FVC, m.FEV1, m.PEF);
    }
}

INSTANTIATE_TEST_SUITE_P(Waveforms, WaveformTest, ::testing::Range(0, 24));
