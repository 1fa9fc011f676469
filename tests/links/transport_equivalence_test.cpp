// One whole FVC test over each real link (serial on a pseudo-terminal, USB HID
// and Bluetooth over the virtual spirometer), with a rest between two blows,
// stores exactly what the same lungs give the in-process demo device: the
// link adds and loses nothing, and a quiet link is not a lost one.
#include "device/device_fixture.h"
#include "support/test_parts.h"
#include "virtual_bluetooth.h"
#include "virtual_hid_backend.h"

#include "core/device/hid_port.h"
#include "core/device/pty_server.h"
#include "core/measure/maneuver_fields.h"

#include <QFile>

#include <functional>
#include <memory>

namespace {

struct Transport {
    const char* name;
    int profile; // a checksum-frame profile for HID and Bluetooth, ascii for serial
    LinkKind kind;
};

class TransportEquivalenceTest : public RealLinkTest,
                                 public ::testing::WithParamInterface<Transport> {
  protected:
    void SetUp() override
    {
        RealLinkTest::SetUp();
        Settings().communication = GetParam().kind == LinkKind::Bluetooth ? 0 : 1;
    }
    void TearDown() override
    {
        if (m_server)
            m_server->Stop();
        RealLinkTest::TearDown();
    }

    // Puts the virtual spirometer of `config` behind the link under test.
    void attach(const SimConfig& config)
    {
        DeviceManager& manager = TestParts().devices;
        // No HID device unless the test puts one there, so the serial probe is reached.
        m_hid = std::make_unique<HidLinkFactory>(
            [device = m_device] { return std::make_unique<VirtualHidBackend>(device); });
        manager.SetFactory(LinkKind::Hid, GetParam().kind == LinkKind::Hid ? m_hid.get() : nullptr);
        if (GetParam().kind == LinkKind::Serial) {
            m_server = std::make_unique<PtyServer>(config);
            ASSERT_TRUE(m_server->Create());
            m_server->StartThread();
            Settings().portName = m_server->SlaveName();
        } else if (GetParam().kind == LinkKind::Bluetooth) {
            auto radio = std::make_unique<VirtualBluetooth>(m_device);
            m_radio = radio.get();
            m_link.blueTooth.SetTransport(std::move(radio));
            m_bluetooth = std::make_unique<BluetoothLinkFactory>(m_link);
            manager.SetFactory(LinkKind::Bluetooth, m_bluetooth.get());
            pickFirstBluetoothDevice(m_link);
        }
    }

    // `started` runs once the start sequence is through.
    SaveResult runTest(const std::function<void()>& started = {})
    {
        LiveTestSession session(TestParts());
        bool finished = false;
        QObject::connect(&session, &LiveTestSession::deviceFinished, [&](int) { finished = true; });
        EXPECT_EQ(session.Start(0), LiveTestSession::kStarted);
        if (started)
            started();
        EXPECT_TRUE(waitForEnd(session));
        EXPECT_TRUE(finished);
        return finished ? session.Save(1, context(), db) : SaveResult{};
    }

    // A rest before the second blow: the link's reads come back empty for a while.
    static SimConfig withRest(SimConfig config)
    {
        config.faults.pauseMs = 1500;
        config.faults.pauseBlow = 2;
        return config;
    }

    SimConfig m_config = withRest(SimConfig::ForSetting(GetParam().profile, SimTest::Fvc));
    std::shared_ptr<VirtualSpirometer> m_device = VirtualSpirometer::Make(m_config);
    std::unique_ptr<PtyServer> m_server;
    std::unique_ptr<HidLinkFactory> m_hid;
    BluetoothLink m_link;
    VirtualBluetooth* m_radio = nullptr; // owned by m_link
    std::unique_ptr<BluetoothLinkFactory> m_bluetooth;
};

TEST_P(TransportEquivalenceTest, AWholeFvcTestEqualsTheDemoRun)
{
    attach(m_config);
    const SaveResult linked = runTest();
    ASSERT_EQ(linked.outcome, SaveOutcome::Saved);
    EXPECT_EQ(TestParts().devices.CurrentKind(), GetParam().kind);
    EXPECT_TRUE(QFile::exists(linked.path));
    EXPECT_EQ(caseRows(), 3); // the session's three blows
    EXPECT_EQ(caseFiles(), 3);
    if (m_server) {
        m_server->Stop();
        m_server.reset();
    }

    useDevice(m_config);
    const SaveResult demo = runTest();
    ASSERT_EQ(demo.outcome, SaveOutcome::Saved);
    EXPECT_EQ(TestParts().devices.CurrentKind(), LinkKind::Simulated);
    for (int i = 0; i < int(ManeuverFields().size()); ++i)
        EXPECT_EQ(ManeuverFieldValue(linked.record, i), ManeuverFieldValue(demo.record, i))
            << ManeuverFields()[i].name;
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(linked.acceptance.flag[i], demo.acceptance.flag[i]) << i;
    EXPECT_GT(linked.record.FVC, 1.0);
}

// Reads that end inside a frame, at every offset: the Bluetooth module hands
// each report over in pieces, with a lull longer than a read waits between
// them. The next read completes the frame; the test is the same.
TEST_P(TransportEquivalenceTest, FramesCutAtEveryOffsetOnBluetoothGiveTheSameTest)
{
    if (GetParam().kind != LinkKind::Bluetooth)
        GTEST_SKIP() << "the cut is the Bluetooth module's";
    attach(m_config);
    const SaveResult whole = runTest();
    ASSERT_EQ(whole.outcome, SaveOutcome::Saved);
    for (int piece = 1; piece <= 3; ++piece) {
        const SaveResult cut =
            runTest([&] { m_radio->CutReports(piece, BluetoothPort::kPollLimit); });
        ASSERT_EQ(cut.outcome, SaveOutcome::Saved) << piece;
        m_radio->CutReports(0, 0);
        for (int i = 0; i < int(ManeuverFields().size()); ++i)
            EXPECT_EQ(ManeuverFieldValue(cut.record, i), ManeuverFieldValue(whole.record, i))
                << ManeuverFields()[i].name << " in pieces of " << piece;
    }
}

INSTANTIATE_TEST_SUITE_P(Links, TransportEquivalenceTest,
                         ::testing::Values(Transport{"Serial", 11, LinkKind::Serial},
                                           Transport{"Hid", 2, LinkKind::Hid},
                                           Transport{"Bluetooth", 1, LinkKind::Bluetooth}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
