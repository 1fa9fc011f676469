// Whole live tests against the virtual spirometer: start sequence, receive
// worker, writer, file and database row.
#include "device_fixture.h"
#include "support/test_parts.h"

#include "core/app/lang_text.h"
#include "core/measure/measurement_store.h"
#include "core/measure/test_file_reader.h"

#include <cstring>

#include <cmath>
#include <cstdio>

class LiveTestSessionTest : public DeviceTest {};

TEST_F(LiveTestSessionTest, FvcProfilesAreSavedWithTheirAcceptanceOnBothProtocols)
{
    for (SimProtocol protocol : {SimProtocol::Checksum, SimProtocol::Ascii}) {
        for (int profile = 1; profile <= 10; ++profile) {
            SimConfig config;
            config.profile = profile;
            config.protocol = protocol;
            const ProfileTruth truth = PatientModel(profile, SimTest::Fvc).Truth();
            const int rowsBefore = caseRows();
            const Outcome out = run(config);
            ASSERT_EQ(out.start, LiveTestSession::kStarted);
            ASSERT_TRUE(out.finished);
            ASSERT_EQ(out.saved.outcome, SaveOutcome::Saved);
            EXPECT_TRUE(QFile::exists(out.saved.path));
            // Every blow of the session is kept, each with its row.
            EXPECT_EQ(out.saved.stored.size(), 3u);
            EXPECT_EQ(caseRows(), rowsBefore + int(out.saved.stored.size()));
            const ManeuverResult& r = out.saved.record;
            std::printf("protocol %d profile %d: FVC %.3f/%.3f FEV1 %.3f/%.3f PEF %.3f/%.3f "
                        "PIF %.3f/%.3f EVOL %d/%.0f\n",
                        int(protocol), profile, r.FVC, truth.fvc, r.FEV1, truth.fev1, r.PEF,
                        truth.pef, r.PIF, truth.pif, r.EVOL, truth.evol * 1000);
            // FVC, FEV1 and PEF against the accuracy limits: WaveformTest.
            EXPECT_NEAR(r.PIF, truth.pif, 0.10 * truth.pif) << profile;
            if (protocol == SimProtocol::Ascii)
                continue;
            EXPECT_NEAR(r.EVOL, truth.evol * 1000, 30) << profile;
            // The poor start fails the start rule only, the early stop the end rule only.
            EXPECT_EQ(out.saved.acceptance.flag[0], profile == 4 ? 0 : 1) << profile;
            EXPECT_EQ(out.saved.acceptance.flag[1], profile == 5 ? 0 : 1) << profile;
        }
    }
}

TEST_F(LiveTestSessionTest, DroppedPulseIsAskedForOnceAndTheResultEqualsACleanRun)
{
    SimConfig clean;
    const Outcome reference = run(clean);
    ASSERT_EQ(reference.saved.outcome, SaveOutcome::Saved);
    EXPECT_EQ(reference.resends, 0);

    SimConfig faulty;
    faulty.faults.dropPulse = 57;
    const Outcome out = run(faulty);
    ASSERT_EQ(out.saved.outcome, SaveOutcome::Saved);
    EXPECT_EQ(out.resends, 1);
    const auto device = TestParts().devices.SimulatedDevice();
    ASSERT_TRUE(device);
    EXPECT_EQ(device->ResendRequests(), std::vector<int>{57});
    EXPECT_EQ(std::memcmp(&out.saved.record, &reference.saved.record, sizeof(ManeuverResult)), 0);
    EXPECT_EQ(out.saved.acceptance.flag, reference.saved.acceptance.flag);
}

TEST_F(LiveTestSessionTest, CorruptFramesAreSkippedWithoutChangingTheResult)
{
    const Outcome reference = run(SimConfig{});
    SimConfig faulty;
    faulty.faults.badChecksumPulse = 120;
    const Outcome out = run(faulty);
    ASSERT_EQ(out.saved.outcome, SaveOutcome::Saved);
    EXPECT_EQ(out.resends, 0);
    EXPECT_EQ(std::memcmp(&out.saved.record, &reference.saved.record, sizeof(ManeuverResult)), 0);
}

TEST_F(LiveTestSessionTest, VcTestFindsTidalBreathingAndTheLungVolumes)
{
    for (SimProtocol protocol : {SimProtocol::Checksum, SimProtocol::Ascii}) {
        SimConfig config;
        config.test = SimTest::Vc;
        config.protocol = protocol;
        bool tidal = false;
        useDevice(config);
        LiveTestSession session(TestParts());
        QObject::connect(&session, &LiveTestSession::tidalFound, [&] { tidal = true; });
        ASSERT_EQ(session.Start(kTestVc), LiveTestSession::kStarted);
        ASSERT_TRUE(waitForEnd(session));
        EXPECT_TRUE(tidal);
        const SaveResult saved = session.Save(1, context(), db);
        ASSERT_EQ(saved.outcome, SaveOutcome::Saved) << int(protocol);
        EXPECT_EQ(saved.validPicture, 1);
        const ProfileTruth truth = PatientModel(1, SimTest::Vc).Truth();
        const ManeuverResult& r = saved.record;
        std::printf(
            "VC protocol %d: TV %.3f/%.3f ERV %.3f/%.3f IRV %.3f/%.3f IC %.3f/%.3f VC %.3f/%.3f\n",
            int(protocol), r.TV, truth.tv, r.ERV, truth.erv, r.IRV, truth.irv, r.IC, truth.ic, r.VC,
            truth.vc);
        EXPECT_NEAR(r.TV, truth.tv, 0.10 * truth.tv);
        EXPECT_NEAR(r.VC, truth.vc, 0.05 * truth.vc);
        EXPECT_NEAR(r.ERV, truth.erv, 0.10 * truth.erv);
        EXPECT_NEAR(r.IRV, truth.irv, 0.10 * truth.irv);
        EXPECT_NEAR(r.IC, truth.ic, 0.10 * truth.ic);
        EXPECT_FLOAT_EQ(r.IC, r.IRV + r.TV);
        EXPECT_FLOAT_EQ(r.VC, r.IRV + r.TV + r.ERV);
    }
}

TEST_F(LiveTestSessionTest, MvvNeedsTwoBreathCycles)
{
    SimConfig single;
    single.test = SimTest::Mvv;
    single.mvvBreaths = 1;
    const Outcome invalid = run(single);
    ASSERT_TRUE(invalid.finished);
    EXPECT_EQ(invalid.saved.outcome, SaveOutcome::InvalidMvv);
    EXPECT_TRUE(invalid.saved.prompts.contains(GetLangText("CASE", 1225)));
    EXPECT_EQ(caseRows(), 0);
    EXPECT_EQ(caseFiles(), 0);

    SimConfig full;
    full.test = SimTest::Mvv;
    const Outcome valid = run(full);
    ASSERT_EQ(valid.saved.outcome, SaveOutcome::Saved);
    const double truth = PatientModel(1, SimTest::Mvv).Truth().mvv;
    std::printf("MVV: %.1f/%.1f L/min\n", valid.saved.record.MVV, truth);
    EXPECT_NEAR(valid.saved.record.MVV, truth, 0.10 * truth);
    EXPECT_EQ(caseRows(), 1);
}

TEST_F(LiveTestSessionTest, SilenceAfterActivityEndsInATimeOut)
{
    SimConfig config;
    config.faults.silenceAfterPulse = 100;
    const Outcome out = run(config, 1000); // the limit is judged by the clock, whatever its length
    EXPECT_TRUE(out.timedOut);
    EXPECT_FALSE(out.finished);
    EXPECT_EQ(caseRows(), 0);
}

TEST_F(LiveTestSessionTest, DisconnectMidTestSavesNothingAndKeepsWhatWasStored)
{
    const Outcome first = run(SimConfig{});
    ASSERT_EQ(first.saved.outcome, SaveOutcome::Saved);
    const QByteArray stored = home.read("Case/" + QString::number(patientId) + "/1.dt");
    ASSERT_FALSE(stored.isEmpty());

    SimConfig config;
    config.faults.disconnectAfterPulse = 150;
    const Outcome out = run(config);
    EXPECT_TRUE(out.timedOut);
    EXPECT_FALSE(out.finished);
    EXPECT_EQ(caseRows(), int(first.saved.stored.size())); // the first session's blows
    EXPECT_EQ(caseFiles(), int(first.saved.stored.size()));
    EXPECT_EQ(home.read("Case/" + QString::number(patientId) + "/1.dt"), stored);
}

TEST_F(LiveTestSessionTest, StartSequenceRefusals)
{
    SimConfig low;
    low.battery = 5;
    EXPECT_EQ(run(low).start, LiveTestSession::kLowBattery);
    EXPECT_EQ(TestParts().devices.CurrentPort()->IsOpen(), 0);

    SimConfig mute;
    mute.faults.noAnswerTo = 0x8C; // the start command
    EXPECT_EQ(run(mute).start, LiveTestSession::kCommandFailed);

    SimConfig asciiMute;
    asciiMute.protocol = SimProtocol::Ascii;
    asciiMute.faults.noAnswerTo = 'E';
    EXPECT_EQ(run(asciiMute).start, LiveTestSession::kNoDevice);
}

TEST_F(LiveTestSessionTest, WaitParametersGoOutForFvcTestsOnly)
{
    Settings().wait = 1;
    Settings().space = 12;
    Settings().times = 3;
    run(SimConfig{});
    auto device = TestParts().devices.SimulatedDevice();
    ASSERT_TRUE(device);
    EXPECT_EQ(device->WaitSpace(), 12);
    EXPECT_EQ(device->WaitTimes(), 3);

    SimConfig mvv;
    mvv.test = SimTest::Mvv;
    run(mvv);
    device = TestParts().devices.SimulatedDevice();
    EXPECT_EQ(device->WaitSpace(), -1);
}

// The user ends an FVC session after its first blow: the device is told to
// stop, and the blows so far are kept as a whole session.
TEST_F(LiveTestSessionTest, EndingTheSessionKeepsTheBlowsSoFarAndStopsTheDevice)
{
    SimConfig config;
    config.profile = 5; // short blows, so the first one closes soon
    config.fvcBlows = 2;
    config.realTime = true; // at a person's pace: the session is ended between the blows
    useDevice(config);
    LiveTestSession session(TestParts());
    std::atomic<bool> finished{false};
    QObject::connect(&session, &LiveTestSession::deviceFinished, [&](int) { finished = true; });
    ASSERT_EQ(session.Start(kTestFvc), LiveTestSession::kStarted);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (TestParts().store.ManeuverCount() < 1 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    session.Finish();
    ASSERT_TRUE(waitForEnd(session));
    EXPECT_TRUE(finished.load());
    const int blown = TestParts().store.ManeuverCount();
    EXPECT_EQ(blown, 1);
    ASSERT_NE(TestParts().devices.SimulatedDevice(), nullptr);
    EXPECT_FALSE(TestParts().devices.SimulatedDevice()->Streaming()) << "the device was told to stop";
    const SaveResult saved = session.Save(1, context(), db);
    EXPECT_EQ(saved.outcome, SaveOutcome::Saved);
    EXPECT_EQ(int(saved.stored.size()), blown);
}
