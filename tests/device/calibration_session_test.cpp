// The calibration worker against the virtual spirometer's verdict scripts.
#include "device_fixture.h"
#include "support/test_parts.h"

#include "core/session/calibration_session.h"

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
