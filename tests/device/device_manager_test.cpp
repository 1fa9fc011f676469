// Choosing and proving the link: demo mode, wired probing order and the
// shared Bluetooth connection, with links made of virtual spirometers.
#include "device_fixture.h"
#include "support/test_parts.h"

#include "core/device/ascii_command_protocol.h"
#include "core/device/checksum_frame_protocol.h"
#include "core/device/simulated_port.h"

namespace {

// A port that counts reads and can refuse to open.
class CountingPort : public SimulatedPort {
  public:
    CountingPort(std::shared_ptr<VirtualSpirometer> device, bool opens, int* reads)
        : SimulatedPort(std::move(device)), m_opens(opens), m_reads(reads)
    {
    }
    int Open() override { return m_opens ? SimulatedPort::Open() : 0; }
    int Read(unsigned char* buffer, int count) override
    {
        ++*m_reads;
        return SimulatedPort::Read(buffer, count);
    }

  private:
    bool m_opens;
    int* m_reads;
};

// A link kind backed by a virtual spirometer, present or absent.
class FakeLinkFactory : public LinkFactory {
  public:
    FakeLinkFactory(LinkKind kind, SimProtocol protocol, bool present)
        : m_kind(kind), m_protocol(protocol), present(present)
    {
    }
    std::unique_ptr<DevicePort> MakePort() override
    {
        ++portsMade;
        SimConfig config;
        config.protocol = m_protocol;
        config.faults.noAnswerTo = mute ? (m_protocol == SimProtocol::Ascii ? 'E' : 0x87) : -1;
        auto port =
            std::make_unique<CountingPort>(VirtualSpirometer::Make(config), present, &reads);
        if (m_kind == LinkKind::Bluetooth)
            port->Open(); // Bluetooth ports share one connection: they come open
        return port;
    }
    std::unique_ptr<DeviceProtocol> MakeProtocol() override
    {
        if (m_protocol == SimProtocol::Ascii)
            return std::make_unique<AsciiCommandProtocol>();
        return std::make_unique<ChecksumFrameProtocol>();
    }
    LinkKind Kind() const override { return m_kind; }
    bool SharedConnectionUp() override { return shared; }
    void CloseSharedConnection() override
    {
        shared = false;
        ++sharedClosed;
    }

    LinkKind m_kind;
    SimProtocol m_protocol;
    bool present;
    bool mute = false;
    bool shared = false;
    int portsMade = 0;
    int reads = 0;
    int sharedClosed = 0;
};

} // namespace

class DeviceManagerTest : public DeviceTest {
  protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        Settings().simulator = 0;
    }
    void TearDown() override
    {
        for (LinkKind kind : {LinkKind::Hid, LinkKind::Serial, LinkKind::Bluetooth})
            manager().SetFactory(kind, nullptr);
        DeviceTest::TearDown();
    }
    static DeviceManager& manager() { return TestParts().devices; }
};

TEST_F(DeviceManagerTest, DemoModeConnectsToTheVirtualSpirometer)
{
    Settings().simulator = 3;
    ASSERT_EQ(manager().ConnectDevice(), 1);
    EXPECT_EQ(manager().CurrentKind(), LinkKind::Simulated);
    EXPECT_TRUE(dynamic_cast<ChecksumFrameProtocol*>(manager().CurrentProtocol()));
    EXPECT_EQ(manager().SimulatedDevice()->Config().profile, 3);

    Settings().simulator = 13; // the same patient on an ascii-command device
    ASSERT_EQ(manager().ConnectDevice(), 1);
    EXPECT_TRUE(dynamic_cast<AsciiCommandProtocol*>(manager().CurrentProtocol()));
}

TEST_F(DeviceManagerTest, WiredProbingPrefersHidAndLeavesNothingWithoutADevice)
{
    Settings().communication = 1;
    EXPECT_EQ(manager().ConnectDevice(), 0); // no link at all
    EXPECT_EQ(manager().CurrentPort(), nullptr);
    EXPECT_EQ(manager().CurrentProtocol(), nullptr);

    FakeLinkFactory hid(LinkKind::Hid, SimProtocol::Checksum, true);
    FakeLinkFactory serial(LinkKind::Serial, SimProtocol::Ascii, true);
    manager().SetFactory(LinkKind::Hid, &hid);
    manager().SetFactory(LinkKind::Serial, &serial);
    ASSERT_EQ(manager().ConnectDevice(), 1);
    EXPECT_EQ(manager().CurrentKind(), LinkKind::Hid);
    EXPECT_TRUE(dynamic_cast<ChecksumFrameProtocol*>(manager().CurrentProtocol()));
    EXPECT_EQ(hid.portsMade, 2); // the probe and the real one
    EXPECT_EQ(serial.portsMade, 0);

    hid.present = false;
    ASSERT_EQ(manager().ConnectDevice(), 1);
    EXPECT_EQ(manager().CurrentKind(), LinkKind::Serial);
    EXPECT_TRUE(dynamic_cast<AsciiCommandProtocol*>(manager().CurrentProtocol()));

    serial.present = false;
    EXPECT_EQ(manager().ConnectDevice(), 0);
    EXPECT_EQ(manager().CurrentPort(), nullptr);
    EXPECT_EQ(manager().CurrentProtocol(), nullptr);
}

TEST_F(DeviceManagerTest, BluetoothReusesALiveConnectionAndDropsItAfterAFailure)
{
    Settings().communication = 0;
    FakeLinkFactory bluetooth(LinkKind::Bluetooth, SimProtocol::Checksum, true);
    manager().SetFactory(LinkKind::Bluetooth, &bluetooth);
    ASSERT_EQ(manager().ConnectDevice(), 1);
    EXPECT_TRUE(manager().CountsIdlePolls());
    bluetooth.shared = true;
    const int made = bluetooth.portsMade;
    ASSERT_EQ(manager().ConnectDevice(), 1); // answered on the live connection
    EXPECT_EQ(bluetooth.portsMade, made);

    // The device stops answering: one drain read, a second check, then a new connect.
    bluetooth.mute = true;
    bluetooth.shared = false;
    EXPECT_EQ(manager().ConnectDevice(), 0); // a mute device is now the current one
    bluetooth.shared = true;
    bluetooth.reads = 0;
    EXPECT_EQ(manager().ConnectDevice(), 0);
    // Check, drain, check on the old port; check on the new one.
    EXPECT_EQ(bluetooth.reads, 4);
    EXPECT_FALSE(bluetooth.shared);
    EXPECT_GE(bluetooth.sharedClosed, 1);

    bluetooth.present = false; // the user cancels the device choice
    const int closed = bluetooth.sharedClosed;
    EXPECT_EQ(manager().ConnectDevice(), 0);
    EXPECT_EQ(bluetooth.sharedClosed, closed + 1);
}
