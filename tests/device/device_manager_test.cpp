// Demo mode: the setting picks the virtual spirometer and its protocol. (The
// wired probe and the Bluetooth reuse: ConnectDeviceTest and
// BluetoothConnectTest over the real ports.)
#include "device_fixture.h"
#include "support/test_parts.h"

#include "core/device/ascii_command_protocol.h"
#include "core/device/checksum_frame_protocol.h"

using DeviceManagerTest = DeviceTest;

TEST_F(DeviceManagerTest, DemoModeConnectsToTheVirtualSpirometer)
{
    DeviceManager& manager = TestParts().devices;
    Settings().simulator = 3;
    ASSERT_EQ(manager.ConnectDevice(), 1);
    EXPECT_EQ(manager.CurrentKind(), LinkKind::Simulated);
    EXPECT_TRUE(dynamic_cast<ChecksumFrameProtocol*>(manager.CurrentProtocol()));
    EXPECT_EQ(manager.SimulatedDevice()->Config().profile, 3);

    Settings().simulator = 13; // the same patient on an ascii-command device
    ASSERT_EQ(manager.ConnectDevice(), 1);
    EXPECT_TRUE(dynamic_cast<AsciiCommandProtocol*>(manager.CurrentProtocol()));
}
