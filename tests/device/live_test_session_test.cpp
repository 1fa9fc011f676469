// Whole live tests against the virtual spirometer: start sequence, receive
// worker, writer, file and database row, and faults on the line: whatever the
// link loses, damages or delays, no wrong number is stored as a valid test.
#include "device_fixture.h"
#include "support/data_table.h"
#include "support/test_parts.h"

#include "core/app/lang_text.h"
#include "core/measure/measurement_store.h"
#include "core/measure/test_file_writer.h"
#include "core/session/live_grading.h"
#include "core/session/stream_receiver.h"

#include <algorithm>
#include <cstring>
#include <map>

class LiveTestSessionTest : public DeviceTest {};

// A pulse dropped once is asked for once; a pulse frame with a bad checksum
// is skipped (the device repeats it unasked); neither changes the result.
TEST_F(LiveTestSessionTest, DroppedPulseIsAskedForOnceAndTheResultEqualsACleanRun)
{
    // A wait between blows goes out for FVC tests (not for VC: the VC test).
    Settings().wait = 1;
    Settings().space = 12;
    Settings().times = 3;
    const Outcome reference = run(SimConfig{});
    ASSERT_EQ(reference.saved.outcome, SaveOutcome::Saved);
    EXPECT_EQ(reference.resends, 0);
    EXPECT_EQ(TestParts().devices.SimulatedDevice()->WaitSpace(), 12);
    EXPECT_EQ(TestParts().devices.SimulatedDevice()->WaitTimes(), 3);
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

TEST_F(LiveTestSessionTest, PulseNeverResentMarksItsManoeuvreAndIsNeverStored)
{
    SimConfig clean;
    const Outcome reference = run(clean);
    ASSERT_EQ(reference.saved.outcome, SaveOutcome::Saved);

    // Pulse 100 lies in the first blow, the best of the clean run is not that one.
    SimConfig config;
    config.faults.lostPulse = 100;
    const Outcome out = run(config);
    ASSERT_TRUE(out.finished);
    ASSERT_GE(out.statuses.size(), 3u);
    EXPECT_EQ(out.statuses[0].complete, 0);
    EXPECT_EQ(out.statuses[2].complete, 1);
    EXPECT_GE(out.dataLostSignals, 1);
    const auto device = TestParts().devices.SimulatedDevice();
    ASSERT_TRUE(device);
    // Asked again, a bounded number of times.
    const auto asked = device->ResendRequests();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), 100), StreamReceiver::kMaxResendRequests);
    ASSERT_EQ(out.saved.outcome, SaveOutcome::Saved);
    EXPECT_NE(out.saved.bestIndex, 0);
    EXPECT_TRUE(std::memcmp(&out.saved.record, &reference.saved.record, sizeof(ManeuverResult)) ==
                    0 ||
                out.saved.bestIndex != reference.saved.bestIndex);
}

TEST_F(LiveTestSessionTest, VcTestFindsTidalBreathingAndTheLungVolumes)
{
    // The ascii link's VC stream: the golden vc-p11.
    SimConfig config;
    config.test = SimTest::Vc;
    Settings().wait = 1; // not sent for a VC test
    bool tidal = false;
    useDevice(config);
    LiveTestSession session(TestParts());
    QObject::connect(&session, &LiveTestSession::tidalFound, [&] { tidal = true; });
    ASSERT_EQ(session.Start(kTestVc), LiveTestSession::kStarted);
    ASSERT_TRUE(waitForEnd(session));
    EXPECT_TRUE(tidal);
    EXPECT_EQ(TestParts().devices.SimulatedDevice()->WaitSpace(), -1);
    const SaveResult saved = session.Save(1, context(), db);
    ASSERT_EQ(saved.outcome, SaveOutcome::Saved);
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

namespace {

// `name=value;...` of a live_endings.csv row into `config`; "blow2" and
// "last" are pulse numbers of the clean test `clean` would run.
void applyFaults(const QString& text, SimConfig& config, const ManeuverResult& firstBlow,
                 int lastPulse)
{
    const std::map<QString, int*> fields = {
        {"battery", &config.battery},
        {"noAnswerTo", &config.faults.noAnswerTo},
        {"disconnectAfterPulse", &config.faults.disconnectAfterPulse},
        {"silenceAfterPulse", &config.faults.silenceAfterPulse},
        {"pauseMs", &config.faults.pauseMs},
        {"pauseBlow", &config.faults.pauseBlow},
        {"lostPulse", &config.faults.lostPulse},
        {"splitBytes", &config.faults.splitBytes},
        {"mvvBreaths", &config.mvvBreaths}};
    for (const QString& fault : text.split(';', Qt::SkipEmptyParts)) {
        const QString name = fault.section('=', 0, 0), value = fault.section('=', 1);
        ASSERT_TRUE(fields.count(name)) << name.toStdString();
        *fields.at(name) = value == "blow2"  ? firstBlow.ExpCount + firstBlow.InspCount + 20
                           : value == "last" ? lastPulse
                                             : value.toInt(nullptr, 0);
    }
}

} // namespace

// Each row of live_endings.csv.
TEST_F(LiveTestSessionTest, EachFaultEndsTheTestAsItsRowSays)
{
    // Where the second blow lies: from a clean run (the faults strike inside it).
    ASSERT_EQ(run(SimConfig{}).saved.outcome, SaveOutcome::Saved);
    const ManeuverResult firstBlow = TestParts().store.Maneuvers().front();
    const int lastPulse = VirtualSpirometer::Make(SimConfig{})->TotalPulses();
    const char* starts[] = {"started", "refused", "no-device", "low-battery", "command-failed"};
    const char* ends[] = {"finished",    "no-blow",        "silent-in-blow",
                          "device-gone", "device-stopped", "closed"};
    const char* outcomes[] = {"saved",           "invalid-mvv",      "invalid-vc",
                              "nothing-to-save", "file-not-created", "not-recorded",
                              "not-usable",      "data-lost"};
    for (const DataRow& row : ReadDataTable(LIVE_ENDINGS_FILE)) {
        SCOPED_TRACE(row.line());
        SimConfig config;
        config.protocol = row["protocol"] == "ascii" ? SimProtocol::Ascii : SimProtocol::Checksum;
        config.test = row["test"] == "mvv" ? SimTest::Mvv : SimTest::Fvc;
        applyFaults(row["fault"], config, firstBlow, lastPulse);
        const int rowsBefore = caseRows(), filesBefore = caseFiles();
        const auto begun = std::chrono::steady_clock::now();
        const Outcome out = run(config, row["silence"].isEmpty() ? LiveTestSession::kSilenceLimitMs
                                                                 : row["silence"].toInt());
        EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(30));
        EXPECT_EQ(starts[out.start], row["start"]);
        if (out.start == LiveTestSession::kLowBattery) {
            EXPECT_EQ(TestParts().devices.CurrentPort()->IsOpen(), 0);
        }
        if (out.start == LiveTestSession::kStarted) {
            EXPECT_EQ(ends[int(out.ending.end)], row["end"]);
            EXPECT_EQ(out.finished, row["end"] == "finished");
            EXPECT_EQ(outcomes[int(out.saved.outcome)], row["outcome"]);
        }
        if (!row["kept"].isEmpty()) {
            EXPECT_EQ(out.ending.kept, row.number("kept"));
            EXPECT_EQ(out.ending.blowCut, row["cut"] == "1");
        }
        EXPECT_EQ(caseRows() - rowsBefore, row.number("rows"));
        EXPECT_EQ(caseFiles() - filesBefore, row.number("rows"));
        if (!row["incomplete"].isEmpty()) {
            const int blow = row.number("incomplete");
            ASSERT_LT(blow, int(out.statuses.size()));
            EXPECT_EQ(out.statuses[blow].complete, 0);
            EXPECT_NE(out.saved.bestIndex, blow);
        }
        if (!row["prompt"].isEmpty()) {
            const QStringList where = row["prompt"].split(':');
            EXPECT_TRUE(out.saved.prompts.contains(GetLangText(where[0], where[1].toInt())));
        }
        if (config.test == SimTest::Mvv && out.saved.outcome == SaveOutcome::Saved) {
            const double truth = PatientModel(1, SimTest::Mvv).Truth().mvv;
            EXPECT_NEAR(out.saved.record.MVV, truth, 0.10 * truth);
        }
    }
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
