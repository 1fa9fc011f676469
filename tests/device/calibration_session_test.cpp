// The calibration worker against the virtual spirometer's verdict scripts,
// and the syringe check of the flow sensor.
#include "device_fixture.h"
#include "support/test_parts.h"

#include "core/records/calibration_log.h"
#include "core/session/calibration_check.h"
#include "core/session/calibration_session.h"

#include <cmath>

#include <mutex>

namespace {

struct CalibrationRun {
    int started = 0;
    std::vector<int> verdicts;
};

CalibrationRun calibrate(CalibrationSession& session, int volumeCode)
{
    CalibrationRun run;
    std::mutex mutex;
    const auto connection = QObject::connect(&session, &CalibrationSession::verdict, [&](int code) {
        std::lock_guard lock(mutex);
        run.verdicts.push_back(code);
    });
    run.started = session.Start(volumeCode);
    session.Join();
    QObject::disconnect(connection);
    return run;
}

SimConfig script(std::vector<int> statuses, SimProtocol protocol = SimProtocol::Checksum)
{
    SimConfig config;
    config.protocol = protocol;
    config.calibrationScript = std::move(statuses);
    return config;
}

} // namespace

using CalibrationSessionTest = DeviceTest;

TEST_F(CalibrationSessionTest, VerdictScriptsOfTheChecksumDevice)
{
    using S = CalibrationSession;
    const struct {
        std::vector<int> statuses;
        std::vector<int> verdicts;
    } cases[] = {
        {{9, 9, 1}, {S::kTesting, S::kWaiting, S::kWaiting, S::kSuccess}},
        {{2}, {S::kTesting, S::kWrongSyringe}},
        {{3}, {S::kTesting, S::kReplaceBlade}},
        {{11}, {S::kTesting, S::kFailure}}, // an unknown status ends as a failure
        {{9, -1}, {S::kTesting, S::kWaiting}},
        {{}, {S::kTesting}}, // a silent device: the wait ends without a verdict
    };
    for (const auto& c : cases) {
        useDevice(script(c.statuses));
        CalibrationSession session(TestParts().devices);
        const CalibrationRun run = calibrate(session, 3);
        EXPECT_EQ(run.started, 1);
        EXPECT_EQ(run.verdicts, c.verdicts);
        EXPECT_EQ(TestParts().devices.SimulatedDevice()->CalibrationVolume(), 3);
        EXPECT_EQ(TestParts().devices.CurrentPort()->IsOpen(), 0); // closed afterwards
    }
    // The list selection: "3L" is index 1; nothing selected means 2 L.
    EXPECT_EQ(CalibrationSession::VolumeCode(1), 3);
    EXPECT_EQ(CalibrationSession::VolumeCode(-1), 2);
}

TEST_F(CalibrationSessionTest, FlagsAndTheRepeatRequestCarryToTheNextStart)
{
    CalibrationSession session(TestParts().devices);
    useDevice(script({4}, SimProtocol::Ascii));
    EXPECT_EQ(calibrate(session, 2).verdicts,
              (std::vector<int>{CalibrationSession::kTesting, CalibrationSession::kRepeat}));
    EXPECT_EQ(session.RepeatRequested(), 1);
    EXPECT_EQ(TestParts().devices.SimulatedDevice()->CalibrationVolume(), 2);

    useDevice(script({9, 1}, SimProtocol::Ascii)); // wait, then success
    EXPECT_EQ(calibrate(session, 2).verdicts,
              (std::vector<int>{CalibrationSession::kRepeatStart, CalibrationSession::kWaiting,
                                CalibrationSession::kSuccess}));
    EXPECT_EQ(session.RepeatRequested(), 0);
    EXPECT_EQ(session.Success(), 1);

    useDevice(script({2}, SimProtocol::Ascii));
    calibrate(session, 2);
    EXPECT_EQ(session.Success(), 0);
    EXPECT_EQ(session.WrongSyringe(), 1);

    useDevice(script({10}, SimProtocol::Ascii)); // the device closes the calibration
    EXPECT_EQ(calibrate(session, 2).verdicts,
              (std::vector<int>{CalibrationSession::kTesting, CalibrationSession::kClose}));
}

TEST_F(CalibrationSessionTest, RefusedStartAndMissingDevice)
{
    SimConfig refusing = script({1}, SimProtocol::Ascii);
    refusing.faults.noAnswerTo = 'C';
    useDevice(refusing);
    CalibrationSession session(TestParts().devices);
    EXPECT_EQ(calibrate(session, 2).verdicts, std::vector<int>{CalibrationSession::kTimeOut});

    TestParts().devices.SetSimulatorConfig(std::nullopt);
    Settings().simulator = 0;
    Settings().communication = 1; // wired, and no link registered here
    EXPECT_EQ(calibrate(session, 2).started, 0);
}

namespace {

SyringeCheck runCheck()
{
    CalibrationCheck check(TestParts(), 3.0, {FlowBand::Low, FlowBand::Mid, FlowBand::High});
    EXPECT_EQ(check.Run(), LiveTestSession::kStarted);
    return check.Check();
}

} // namespace

// The virtual operator's strokes go through the physical rotor and the flow
// engine: its own error stays inside the limit in every band; a drifted
// turbine fails, and the device's calibration (kept across connections)
// brings it back. On the ascii link: the checksum one is the command-line
// case syringe_check_fails_under_drift_until_calibrated.
TEST_F(CalibrationSessionTest, SyringeCheckFailsUnderDriftUntilCalibrated)
{
    SimConfig config = script({9, 1}, SimProtocol::Ascii);
    useDevice(config);
    const SyringeCheck fine = runCheck();
    ASSERT_EQ(fine.Strokes().size(), 3u);
    EXPECT_TRUE(fine.Passed());
    for (const SyringeStroke& s : fine.Strokes())
        EXPECT_LT(std::fabs(s.error), 2.0) << SyringeCheck::BandName(s.band).toStdString();

    config.drift = 5;
    useDevice(config);
    const SyringeCheck drifted = runCheck();
    ASSERT_TRUE(drifted.Done());
    EXPECT_FALSE(drifted.Passed());
    EXPECT_NEAR(drifted.Strokes()[1].error, 5.0, 1.5);

    CalibrationSession session(TestParts().devices);
    calibrate(session, 3);
    EXPECT_EQ(session.Success(), 1);
    EXPECT_EQ(session.FactorBefore(), 145);
    EXPECT_EQ(session.FactorAfter(), 138);
    EXPECT_TRUE(runCheck().Passed());
}

TEST(SyringeCheckTest, BandsRefusalsAndTheLimit)
{
    SyringeCheck check(3.0, {FlowBand::Low, FlowBand::Mid});
    EXPECT_FALSE(check.Offer({3.0, 1.5})); // the low band ends where mid begins
    EXPECT_FALSE(check.Offer({3.0, 0.49}));
    EXPECT_EQ(check.Asked(), FlowBand::Low);
    EXPECT_TRUE(check.Offer({3.0 * 1.035, 1.0}));
    EXPECT_FALSE(check.Passed()); // not every band has its stroke
    EXPECT_TRUE(check.Offer({3.0 * 0.964, 4.9}));
    EXPECT_TRUE(check.Done());
    EXPECT_FALSE(check.Offer({3.0, 1.0}));
    EXPECT_FALSE(check.Passed()); // -3.6 %
    EXPECT_NEAR(check.Strokes()[1].error, -3.6, 1e-9);

    std::vector<FlowBand> bands;
    EXPECT_TRUE(SyringeCheck::ParseBands("low,HIGH", bands));
    EXPECT_EQ(bands, (std::vector<FlowBand>{FlowBand::Low, FlowBand::High}));
    EXPECT_FALSE(SyringeCheck::ParseBands("low,,mid", bands));
    EXPECT_FALSE(SyringeCheck::ParseBands("", bands));

    const QDateTime at(QDate(2026, 3, 1), QTime(8, 0));
    CalibrationLogEntry last;
    last.at = at;
    last.passed = true;
    EXPECT_EQ(CheckFlagFor(std::nullopt, at, 24), CheckFlag::None);
    EXPECT_EQ(CheckFlagFor(last, at.addSecs(24 * 3600), 24), CheckFlag::None);
    EXPECT_EQ(CheckFlagFor(last, at.addSecs(24 * 3600 + 1), 24), CheckFlag::Overdue);
    last.passed = false;
    EXPECT_EQ(CheckFlagFor(last, at, 24), CheckFlag::Failed);
}
