// Whole live tests against the virtual spirometer: start sequence, receive
// worker, writer, file and database row.
#include "device_fixture.h"
#include "support/test_parts.h"

#include "core/app/lang_text.h"
#include "core/clinical/maneuver_acceptability.h"
#include "core/clinical/maneuver_measures.h"
#include "core/measure/measurement_store.h"
#include "core/measure/test_file_reader.h"
#include "core/measure/test_file_writer.h"
#include "core/session/blow_coach.h"
#include "core/session/live_grading.h"

#include <algorithm>
#include <cstring>


class LiveTestSessionTest : public DeviceTest {};

namespace {

// What the coach said during each blow is what the verdict after it finds:
// one answer on the end and the start.
void expectCoachAgreesWithTheVerdict(int coefficient, int profile)
{
    const PulseStream pulses = TestParts().store.Pulses();
    const ManeuverList blows = TestParts().store.Maneuvers();
    for (int b = 0; b < int(blows.size()); ++b) {
        const BlowCues cues = ManeuverCues(kTestFvc, coefficient, blows, pulses, b);
        ManeuverResult record = blows[b];
        const PulseStream own = ManeuverSamples(blows, pulses, b, record);
        const ManeuverMeasures m = MeasuresFromRecord(blows[b], own.data(), int(own.size()), coefficient);
        const auto said = [&](Cue cue) {
            return std::any_of(cues.begin(), cues.end(), [cue](const TimedCue& c) { return c.cue == cue; });
        };
        EXPECT_EQ(said(Cue::EndReached), IsPlateau(m.plateauVolume) || IsLongExpiration(m.fet))
            << "profile " << profile << " blow " << b;
        EXPECT_EQ(said(Cue::SlowStart), BevTooLarge(m.bev, m.fvc)) << "profile " << profile << " blow " << b;
    }
}

} // namespace

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
            // FVC, FEV1 and PEF against the accuracy limits: WaveformTest.
            EXPECT_NEAR(r.PIF, truth.pif, 0.10 * truth.pif) << profile;
            expectCoachAgreesWithTheVerdict(out.saved.header.expCoefficient, profile);
            if (protocol == SimProtocol::Ascii)
                continue;
            EXPECT_NEAR(r.EVOL, truth.evol * 1000, 30) << profile;
            // The poor start fails the start rule only, the early stop the end rule only.
            EXPECT_EQ(out.saved.acceptance.flag[0], profile == 4 ? 0 : 1) << profile;
            EXPECT_EQ(out.saved.acceptance.flag[1], profile == 5 ? 0 : 1) << profile;
        }
    }
}

// A pulse dropped once is asked for once; a pulse frame with a bad checksum
// is skipped (the device repeats it unasked); neither changes the result.
TEST_F(LiveTestSessionTest, DroppedPulseIsAskedForOnceAndTheResultEqualsACleanRun)
{
    const Outcome reference = run(SimConfig{});
    ASSERT_EQ(reference.saved.outcome, SaveOutcome::Saved);
    EXPECT_EQ(reference.resends, 0);
    for (const bool dropped : {true, false}) {
        SimConfig faulty;
        (dropped ? faulty.faults.dropPulse : faulty.faults.badChecksumPulse) = dropped ? 57 : 120;
        const Outcome out = run(faulty);
        ASSERT_EQ(out.saved.outcome, SaveOutcome::Saved) << dropped;
        EXPECT_EQ(out.resends, dropped ? 1 : 0);
        EXPECT_EQ(TestParts().devices.SimulatedDevice()->ResendRequests(), dropped ? std::vector<int>{57} : std::vector<int>{});
        EXPECT_EQ(std::memcmp(&out.saved.record, &reference.saved.record, sizeof(ManeuverResult)), 0) << dropped;
        EXPECT_EQ(out.saved.acceptance.flag, reference.saved.acceptance.flag);
    }
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
    EXPECT_NEAR(valid.saved.record.MVV, truth, 0.10 * truth);
    EXPECT_EQ(caseRows(), 1);
}

// A test cut short keeps the blows the device closed, never the one under
// way, and says what happened.
TEST_F(LiveTestSessionTest, TestCutShortKeepsTheWholeBlowsOnly)
{
    // Blow 1's pulses, from a clean run: the faults below strike inside blow 2.
    const Outcome clean = run(SimConfig{});
    ASSERT_EQ(clean.saved.outcome, SaveOutcome::Saved);
    const ManeuverResult first = TestParts().store.Maneuvers().front();
    const int inBlow2 = first.ExpCount + first.InspCount + 20;
    const int rowsBefore = caseRows();

    SimConfig gone;
    gone.faults.disconnectAfterPulse = inBlow2;
    const Outcome lost = run(gone);
    EXPECT_TRUE(lost.endedEarly);
    EXPECT_EQ(lost.ending.end, TestEnd::DeviceGone);
    EXPECT_TRUE(lost.ending.blowCut);
    EXPECT_EQ(lost.ending.kept, 1);
    EXPECT_EQ(lost.saved.stored.size(), 1u);

    SimConfig silent;
    silent.faults.silenceAfterPulse = inBlow2;
    const Outcome mute = run(silent, 600);
    EXPECT_EQ(mute.ending.end, TestEnd::SilentInBlow);
    EXPECT_EQ(mute.ending.kept, 1);
    EXPECT_EQ(caseRows(), rowsBefore + 2);

    // A rest longer than the limit before blow 3, on both protocols.
    for (SimProtocol protocol : {SimProtocol::Checksum, SimProtocol::Ascii}) {
        SimConfig rest;
        rest.protocol = protocol;
        rest.faults.pauseMs = 60000;
        rest.faults.pauseBlow = 3;
        const Outcome out = run(rest, 600);
        EXPECT_EQ(out.ending.end, TestEnd::NoBlow) << int(protocol);
        EXPECT_FALSE(out.ending.blowCut);
        EXPECT_EQ(out.ending.kept, 2);
        ASSERT_EQ(out.saved.outcome, SaveOutcome::Saved);
        EXPECT_EQ(out.saved.stored.size(), 2u);
    }
}

// After the start reply the device says nothing, ever: the wait has its limit.
TEST_F(LiveTestSessionTest, SilenceBeforeTheFirstBlowEndsWithinTheLimit)
{
    for (SimProtocol protocol : {SimProtocol::Checksum, SimProtocol::Ascii}) {
        SimConfig never;
        never.protocol = protocol;
        never.faults.pauseMs = 600000;
        const auto begun = std::chrono::steady_clock::now();
        const Outcome out = run(never, 300);
        ASSERT_EQ(out.start, LiveTestSession::kStarted);
        EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(30));
        EXPECT_EQ(out.ending.end, TestEnd::NoBlow);
        EXPECT_EQ(out.ending.kept, 0);
        EXPECT_EQ(out.saved.outcome, SaveOutcome::NothingToSave);
    }
    EXPECT_EQ(caseRows(), 0);
}

// Replies cut into pieces of one to three bytes still start the test, which
// then runs to its end.
TEST_F(LiveTestSessionTest, RepliesInPiecesStillStartAndFinish)
{
    for (int profile : {1, 11}) {
        for (int piece = 1; piece <= 3; ++piece) {
            SimConfig config = SimConfig::ForSetting(profile, SimTest::Fvc);
            config.faults.splitBytes = piece;
            const Outcome out = run(config);
            ASSERT_EQ(out.start, LiveTestSession::kStarted) << profile << " split " << piece;
            EXPECT_TRUE(out.finished) << profile << " split " << piece;
            EXPECT_EQ(out.saved.stored.size(), 3u) << profile << " split " << piece;
        }
    }
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

// After each blow: one verdict with its reasons, the spread of the two best
// FVC and FEV1 against the age's limit, and how many more blows are worth it.
TEST(LiveGrading, AfterEachBlowOneVerdictTheSpreadAndTheBlowsLeft)
{
    auto blow = [](double fvc, double bev = 0.05, double plateau = 0.01) {
        ManeuverMeasures m;
        m.fvc = fvc, m.fev1 = 0.8 * fvc, m.pef = 8, m.bev = bev, m.fet = 7, m.plateauVolume = plateau;
        return m;
    };
    auto more = [](int atLeast, int atMost) { return GetLangText("MESSAGE", 3154).arg(atLeast).arg(atMost); };
    std::vector<ManeuverMeasures> blows = {blow(4.00)};
    LiveGrading g = JudgeBlowsSoFar(blows, {0}, 1, 40);
    EXPECT_EQ(g.verdict, GetLangText("MESSAGE", 3149).arg(1).arg(GetLangText("CLINICAL", 2578)));
    EXPECT_TRUE(g.reasons.isEmpty());
    EXPECT_EQ(g.repeatability, GetLangText("MESSAGE", 3152));
    EXPECT_EQ(g.moreBlows, more(2, 7));

    // A slow start: not usable, said why; the third blow (a damaged second
    // one was not judged) 300 mL short of the first.
    blows.push_back(blow(3.70, 0.30));
    g = JudgeBlowsSoFar(blows, {0, 2}, 3, 40);
    EXPECT_EQ(g.verdict, GetLangText("MESSAGE", 3149).arg(3).arg(GetLangText("CLINICAL", 2580)));
    EXPECT_TRUE(g.reasons.contains(FindingText(ManeuverFinding::BevTooLarge)));
    EXPECT_EQ(g.moreBlows, more(2, 5));

    // No plateau and 300 mL short of the largest: FEV1 only; two acceptable
    // 300 mL apart are not repeatable, for an adult or a child.
    blows.back() = blow(3.70, 0.05, 0.2);
    g = JudgeBlowsSoFar(blows, {0, 2}, 3, 40);
    EXPECT_EQ(g.verdict, GetLangText("MESSAGE", 3149).arg(3).arg(GetLangText("MESSAGE", 3150)));
    blows.push_back(blow(3.70));
    g = JudgeBlowsSoFar(blows, {0, 2, 3}, 4, 40);
    EXPECT_EQ(g.repeatability, GetLangText("MESSAGE", 3151).arg(300).arg(240).arg(150));
    EXPECT_EQ(g.moreBlows, more(1, 4));
    EXPECT_EQ(JudgeBlowsSoFar(blows, {0, 2, 3}, 4, 5).repeatability,
              GetLangText("MESSAGE", 3151).arg(300).arg(240).arg(400));

    // A third acceptable blow within the limit: enough; eight blows without it: no more.
    blows.push_back(blow(3.95));
    EXPECT_EQ(JudgeBlowsSoFar(blows, {0, 2, 3, 4}, 5, 40).moreBlows, GetLangText("MESSAGE", 3153));
    blows.back() = blow(3.40);
    EXPECT_EQ(JudgeBlowsSoFar(blows, {0, 2, 3, 4}, kSessionBlows, 40).moreBlows,
              GetLangText("MESSAGE", 3155).arg(kSessionBlows));
}
