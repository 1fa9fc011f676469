// The device manager's wired probe: HID before serial, and a wired connect
// with no device at all.
#include "device/device_fixture.h"
#include "support/test_parts.h"
#include "fake_hid_backend.h"
#include "virtual_hid_backend.h"

#include "core/device/hid_port.h"
#include "core/device/port_discovery.h"
#include "core/device/pty_server.h"

#include <QFile>

namespace {

class ConnectDeviceTest : public RealLinkTest {
  protected:
    static bool hidSpirometerAttached()
    {
        return !MakeHidapiBackend()->Enumerate(HidPort::kVendorId, HidPort::kProductId).isEmpty();
    }
};

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

TEST_F(ConnectDeviceTest, AHidDeviceWinsOverASerialOne)
{
    // A serial spirometer on a pty and a HID one on the virtual device.
    PtyServer server(SimConfig::ForSetting(11, SimTest::Fvc));
    ASSERT_TRUE(server.Create());
    server.StartThread();
    Settings().portName = server.SlaveName();

    std::shared_ptr<VirtualSpirometer> device = VirtualSpirometer::Make(SimConfig::ForSetting(2, SimTest::Fvc));
    bool present = true;
    HidLinkFactory hid([&]() -> std::unique_ptr<HidBackend> {
        if (!present)
            return std::make_unique<FakeHidBackend>(std::make_shared<FakeHidState>());
        return std::make_unique<VirtualHidBackend>(device);
    });
    DeviceManager& manager = TestParts().devices;
    manager.SetFactory(LinkKind::Hid, &hid);
    EXPECT_EQ(manager.ConnectDevice(), 1);
    EXPECT_EQ(manager.CurrentKind(), LinkKind::Hid);
    manager.ClosePort();

    // Without the HID device the serial one is taken.
    present = false;
    EXPECT_EQ(manager.ConnectDevice(), 1);
    EXPECT_EQ(manager.CurrentKind(), LinkKind::Serial);
    manager.ClosePort();
    server.Stop();
}

} // namespace
