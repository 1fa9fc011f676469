// The device manager over the real links: a whole live test through the real
// SerialPort and a pseudo-terminal, the wired probe order, and a wired
// connect with no device at all.
#include "device/device_fixture.h"
#include "support/test_parts.h"
#include "fake_hid_backend.h"
#include "virtual_hid_backend.h"

#include "core/device/hid_port.h"
#include "core/device/port_discovery.h"
#include "core/device/pty_server.h"
#include "core/device/real_link_factories.h"
#include "core/measure/maneuver_fields.h"

#include <QFile>

namespace {

struct LiveRun {
    LiveTestSession::StartResult start = LiveTestSession::kRefused;
    bool finished = false;
    SaveResult saved;
};

class ConnectDeviceTest : public DeviceTest {
  protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        RegisterRealLinks(TestParts().devices);
        Settings().simulator = 0;
        Settings().communication = 1;
    }
    void TearDown() override
    {
        DeviceTest::TearDown();
        RegisterRealLinks(TestParts().devices);
    }

    LiveRun runTest(int testType)
    {
        LiveRun run;
        LiveTestSession session(TestParts());
        QObject::connect(&session, &LiveTestSession::deviceFinished,
                         [&](int) { run.finished = true; });
        run.start = session.Start(testType);
        if (run.start != LiveTestSession::kStarted)
            return run;
        EXPECT_TRUE(waitForEnd(session));
        if (run.finished)
            run.saved = session.Save(1, context(), db);
        return run;
    }

    // Every stored field of two saved records is the same.
    static void expectSameRecord(const SaveResult& a, const SaveResult& b)
    {
        for (int i = 0; i < int(ManeuverFields().size()); ++i)
            EXPECT_EQ(ManeuverFieldValue(a.record, i), ManeuverFieldValue(b.record, i)) << ManeuverFields()[i].name;
    }

    static bool hidSpirometerAttached()
    {
        return !MakeHidapiBackend()->Enumerate(HidPort::kVendorId, HidPort::kProductId).isEmpty();
    }
};

TEST_F(ConnectDeviceTest, WholeFvcTestOverSerialPortAndPtyEqualsTheDemoRun)
{
    if (hidSpirometerAttached())
        GTEST_SKIP() << "a HID spirometer is attached and would win the probe";
    SimConfig config = SimConfig::ForSetting(11, SimTest::Fvc);
    PtyServer server(config);
    ASSERT_TRUE(server.Create());
    server.StartThread();
    Settings().portName = server.SlaveName();

    const LiveRun wired = runTest(0);
    server.Stop();
    ASSERT_EQ(wired.start, LiveTestSession::kStarted);
    ASSERT_TRUE(wired.finished);
    ASSERT_EQ(wired.saved.outcome, SaveOutcome::Saved);
    EXPECT_EQ(TestParts().devices.CurrentKind(), LinkKind::Serial);
    EXPECT_TRUE(QFile::exists(wired.saved.path));
    EXPECT_EQ(caseRows(), 3); // the session's three blows
    EXPECT_EQ(caseFiles(), 3);

    // The same patient on the in-process virtual device.
    TestParts().devices.SetSimulatorConfig(config);
    const LiveRun demo = runTest(0);
    ASSERT_EQ(demo.saved.outcome, SaveOutcome::Saved);
    EXPECT_EQ(TestParts().devices.CurrentKind(), LinkKind::Simulated);
    EXPECT_EQ(caseRows(), 6);

    expectSameRecord(wired.saved, demo.saved);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(wired.saved.acceptance.flag[i], demo.saved.acceptance.flag[i]) << i;
    EXPECT_GT(wired.saved.record.FVC, 1.0);
}

TEST_F(ConnectDeviceTest, WiredConnectWithoutAnyDeviceLeavesNoLink)
{
    if (hidSpirometerAttached() || !PortDiscovery::FindPorts(0x2047, 0x0300).isEmpty())
        GTEST_SKIP() << "a spirometer is attached";
    // Real hidapi and real serial-port enumeration, nothing configured.
    Settings().portName.clear();
    DeviceManager& manager = TestParts().devices;
    manager.SetSimulatorConfig(SimConfig::ForSetting(11, SimTest::Fvc));
    ASSERT_EQ(manager.ConnectDevice(), 1); // a link exists before
    manager.SetSimulatorConfig(std::nullopt);
    EXPECT_EQ(manager.ConnectDevice(), 0);
    EXPECT_EQ(manager.CurrentPort(), nullptr);
    EXPECT_EQ(manager.CurrentProtocol(), nullptr);
    EXPECT_FALSE(QFile::exists(AppPaths::SettingsFile()));

    // A configured port that is gone fails the same way.
    Settings().portName = "/dev/tav-unplugged";
    EXPECT_EQ(manager.ConnectDevice(), 0);
    EXPECT_EQ(manager.CurrentPort(), nullptr);
}

TEST_F(ConnectDeviceTest, HidDeviceWinsOverSerialDeviceAndRunsAWholeTest)
{
    // A serial spirometer on a pty and a HID one on the virtual device.
    PtyServer server(SimConfig::ForSetting(11, SimTest::Fvc));
    ASSERT_TRUE(server.Create());
    server.StartThread();
    Settings().portName = server.SlaveName();

    const SimConfig config = SimConfig::ForSetting(2, SimTest::Fvc);
    std::shared_ptr<VirtualSpirometer> device = VirtualSpirometer::Make(config);
    bool present = true;
    HidLinkFactory hid([&]() -> std::unique_ptr<HidBackend> {
        if (!present)
            return std::make_unique<FakeHidBackend>(std::make_shared<FakeHidState>());
        return std::make_unique<VirtualHidBackend>(device);
    });
    DeviceManager& manager = TestParts().devices;
    manager.SetFactory(LinkKind::Hid, &hid);
    const LiveRun viaHid = runTest(0);
    ASSERT_EQ(viaHid.start, LiveTestSession::kStarted);
    EXPECT_EQ(manager.CurrentKind(), LinkKind::Hid);
    ASSERT_EQ(viaHid.saved.outcome, SaveOutcome::Saved);
    EXPECT_EQ(server.Sessions(), 1) << "the serial device was never used";

    // The same patient in process over the checksum-frame protocol.
    manager.SetSimulatorConfig(config);
    const LiveRun demo = runTest(0);
    manager.SetSimulatorConfig(std::nullopt);
    ASSERT_EQ(demo.saved.outcome, SaveOutcome::Saved);
    expectSameRecord(viaHid.saved, demo.saved);

    // Without the HID device the serial one is taken.
    present = false;
    EXPECT_EQ(manager.ConnectDevice(), 1);
    EXPECT_EQ(manager.CurrentKind(), LinkKind::Serial);
    manager.ClosePort();
    server.Stop();
}

} // namespace
