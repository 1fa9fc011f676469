// The device manager's Bluetooth connect over BluetoothPort and the shared
// CBlueTooth, with the virtual spirometer behind a played Bluetooth module.
#include "device/device_fixture.h"
#include "support/test_parts.h"
#include "virtual_bluetooth.h"

#include "core/device/wire_format.h"

namespace {

class BluetoothConnectTest : public RealLinkTest {
  protected:
    void SetUp() override
    {
        RealLinkTest::SetUp();
        auto transport = std::make_unique<VirtualBluetooth>(m_device);
        m_module = transport.get();
        m_link.blueTooth.SetTransport(std::move(transport));
        TestParts().devices.SetFactory(LinkKind::Bluetooth, &m_factory);
        Settings().communication = 0;
        useDialog(1);
    }

    // The setup dialog: scans and picks the first device (or cancels).
    void useDialog(int result)
    {
        BluetoothPort::SetSetupDialog([this, result] {
            ++m_dialogs;
            m_link.blueTooth.EnumerateRadios();
            m_link.blueTooth.Inquire(true);
            m_link.chosenIndex = result == 1 ? 0 : -1;
            return result;
        });
    }

    std::shared_ptr<VirtualSpirometer> m_device =
        VirtualSpirometer::Make(SimConfig::ForSetting(1, SimTest::Fvc));
    VirtualBluetooth* m_module = nullptr;
    BluetoothLink m_link;
    BluetoothLinkFactory m_factory{m_link};
    int m_dialogs = 0;
};

TEST_F(BluetoothConnectTest, FirstConnectAsksLaterOnesReuseTheConnection)
{
    DeviceManager& manager = TestParts().devices;
    ASSERT_EQ(manager.ConnectDevice(), 1);
    EXPECT_EQ(manager.CurrentKind(), LinkKind::Bluetooth);
    EXPECT_EQ(m_dialogs, 1);
    EXPECT_EQ(m_module->connects, 1);

    // Live connection: no dialog, no new socket.
    manager.ClosePort();
    ASSERT_EQ(manager.ConnectDevice(), 1);
    EXPECT_EQ(m_dialogs, 1);
    EXPECT_EQ(m_module->connects, 1);
}

TEST_F(BluetoothConnectTest, StaleBlockIsDrainedBeforeTheSecondCheck)
{
    DeviceManager& manager = TestParts().devices;
    ASSERT_EQ(manager.ConnectDevice(), 1);
    const DeviceProtocol* protocol = manager.CurrentProtocol();
    // Two late replies wait in the stream: the first check reads one, the
    // drain the other, and the second check then finds the first check's
    // answer. The link is kept as it was: no new port, protocol or socket.
    const Wire::Bytes late = Wire::ChecksumFrame(Wire::Frame::kStopReply, {});
    const QByteArray block(reinterpret_cast<const char*>(late.data()), int(late.size()));
    m_module->InjectBlock(block);
    m_module->InjectBlock(block);
    EXPECT_EQ(manager.ConnectDevice(), 1);
    EXPECT_EQ(manager.CurrentProtocol(), protocol);
    EXPECT_EQ(m_dialogs, 1);
    EXPECT_EQ(m_module->connects, 1);
}

TEST_F(BluetoothConnectTest, SilentDeviceDropsTheConnectionSoTheNextConnectAsks)
{
    DeviceManager& manager = TestParts().devices;
    ASSERT_EQ(manager.ConnectDevice(), 1);
    SimConfig mute = SimConfig::ForSetting(1, SimTest::Fvc);
    mute.faults.noAnswerTo = Wire::Frame::kConnect;
    auto muteDevice = std::shared_ptr<VirtualSpirometer>(VirtualSpirometer::Make(mute));
    auto transport = std::make_unique<VirtualBluetooth>(muteDevice);
    VirtualBluetooth* module = transport.get();
    m_link.blueTooth.SetTransport(std::move(transport));
    m_link.blueTooth.ConnectToBlueToothServer(VirtualBluetooth::kAddress);
    EXPECT_EQ(manager.ConnectDevice(), 0);
    EXPECT_FALSE(m_link.blueTooth.IsConnected());
    EXPECT_EQ(m_dialogs, 1) << "the open found the connection still up";
    EXPECT_EQ(manager.ConnectDevice(), 0);
    EXPECT_EQ(m_dialogs, 2) << "the next connect asks again";
    EXPECT_EQ(module->connects, 2);
}

} // namespace
