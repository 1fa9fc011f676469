// CBlueTooth and BluetoothPort over Bluetooth played in memory.
#include "fake_bluetooth.h"

#include "core/device/blue_tooth.h"
#include "core/device/bluetooth_port.h"

#include <gtest/gtest.h>

namespace {

class BluetoothTest : public ::testing::Test {
  protected:
    BluetoothTest()
    {
        m_link.blueTooth.SetTransport(std::make_unique<FakeBluetooth>(m_state));
        m_state->found = {{"Spirometer A", 0x00001A2B3C4D5E6FULL},
                          {"", 0x111111111111ULL},
                          {"Spirometer B", 0x0000AABBCCDDEEFFULL}};
    }
    ~BluetoothTest() override { BluetoothPort::SetSetupDialog({}); }

    // The dialog: counts its calls and chooses `choice` (or cancels).
    void installDialog(int result, int choice)
    {
        BluetoothPort::SetSetupDialog([this, result, choice] {
            ++m_dialogCalls;
            m_link.blueTooth.Inquire(true);
            m_link.chosenIndex = choice;
            return result;
        });
    }

    std::shared_ptr<FakeBluetoothState> m_state = std::make_shared<FakeBluetoothState>();
    BluetoothLink m_link;
    int m_dialogCalls = 0;
};

TEST_F(BluetoothTest, InquiryKeepsNamedDevicesInDiscoveryOrderDuplicatesIncluded)
{
    m_state->found.append({"Spirometer A", 0x00001A2B3C4D5E6FULL});
    ASSERT_EQ(m_link.blueTooth.Inquire(true), 3);
    const auto& devices = m_link.blueTooth.Devices();
    EXPECT_EQ(devices[0].name, "Spirometer A");
    EXPECT_EQ(devices[1].name, "Spirometer B");
    EXPECT_EQ(devices[2].address, devices[0].address);
    for (int i = 0; i < devices.size(); ++i)
        EXPECT_EQ(devices[i].index, i);

    m_state->found = {{QString(80, 'x'), 1}};
    ASSERT_EQ(m_link.blueTooth.Inquire(true), 1);
    EXPECT_EQ(m_link.blueTooth.Devices()[0].name.size(), 64);

    m_state->inquiryBegins = false;
    EXPECT_EQ(m_link.blueTooth.Inquire(true), -1);
    EXPECT_TRUE(m_link.blueTooth.Devices().isEmpty());
    EXPECT_EQ(CBlueTooth::AddressText(0x00001A2B3C4D5E6FULL), "1a:2b:3c:4d:5e:6f");
    EXPECT_EQ(CBlueTooth::AddressText(0x0000000000000001ULL), "00:00:00:00:00:01");
}

TEST_F(BluetoothTest, ConnectingWhileConnectedSucceedsWithoutNewSocket)
{
    ASSERT_EQ(m_link.blueTooth.ConnectToBlueToothServer(0x1A2B3C4D5E6FULL), 0);
    EXPECT_EQ(m_state->connectedService, "00001101-0000-1000-8000-00805f9b34fb");
    EXPECT_EQ(m_link.blueTooth.ConnectToBlueToothServer(0x999999999999ULL), 0);
    EXPECT_EQ(m_state->connectCalls, 1);
    EXPECT_EQ(m_state->connectedAddress, 0x1A2B3C4D5E6FULL);

    m_link.blueTooth.Disconnect();
    EXPECT_FALSE(m_link.blueTooth.IsConnected());
    m_state->connectSucceeds = false;
    EXPECT_NE(m_link.blueTooth.ConnectToBlueToothServer(1), 0);
    EXPECT_FALSE(m_link.blueTooth.IsConnected());

    m_state->connectSucceeds = true;
    m_link.blueTooth.SetServiceUuid("00001101-0000-1000-8000");
    EXPECT_EQ(m_link.blueTooth.ConnectToBlueToothServer(1), -1);
    EXPECT_EQ(m_state->connectCalls, 2) << "a malformed service class is never dialled";
}

TEST_F(BluetoothTest, SendLoopsUntilEverythingIsOut)
{
    const unsigned char frame[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(m_link.blueTooth.Send(frame, 10), 0) << "not connected";
    m_link.blueTooth.ConnectToBlueToothServer(1);
    m_state->sendChunk = 3;
    ASSERT_EQ(m_link.blueTooth.Send(frame, 10), 1);
    EXPECT_EQ(m_state->sent, QByteArray(reinterpret_cast<const char*>(frame), 10));
    EXPECT_EQ(m_link.blueTooth.Send(frame, 0), 0);
    EXPECT_EQ(m_link.blueTooth.Send(nullptr, 3), 0);
    m_state->sendFails = true;
    EXPECT_EQ(m_link.blueTooth.Send(frame, 10), 0);
}

TEST_F(BluetoothTest, ReceiveGivesUpAfterThePollLimit)
{
    m_link.blueTooth.ConnectToBlueToothServer(1);
    m_state->incoming = "abc";
    m_state->pollsBeforeReadable = 199;
    unsigned char buffer[8] = {};
    int count = 8;
    ASSERT_EQ(m_link.blueTooth.Receive(buffer, count, 200), 1);
    EXPECT_EQ(count, 3);

    m_state->incoming = "d";
    m_state->pollsBeforeReadable = 200;
    m_state->polls = 0;
    count = 1;
    EXPECT_EQ(m_link.blueTooth.Receive(buffer, count, 200), 0);
    EXPECT_EQ(m_state->polls, 200);
    EXPECT_EQ(count, 0);

    // The other end closed: readable, but nothing comes.
    m_state->incoming.clear();
    m_state->pollsBeforeReadable = 0;
    m_state->streamEnded = true;
    count = 1;
    EXPECT_EQ(m_link.blueTooth.Receive(buffer, count, 200), 0);
}

TEST_F(BluetoothTest, PortReadFailsWhenFewerBytesComeThanAsked)
{
    m_link.blueTooth.ConnectToBlueToothServer(1);
    BluetoothPort port(m_link);
    m_state->incoming = "xyz";
    unsigned char buffer[64] = {};
    EXPECT_EQ(port.Read(buffer, 64), 0);

    QByteArray block(64, '\0');
    for (int i = 0; i < 64; ++i)
        block[i] = static_cast<char>(i + 1);
    m_state->incoming = block + "next";
    unsigned char exact[64] = {};
    ASSERT_EQ(port.Read(exact, 64), 1);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(exact), 64), block);
    EXPECT_EQ(m_state->incoming, QByteArray("next")) << "a read takes no byte beyond its count";
    EXPECT_EQ(port.Read(exact, 0), 0);
}

// Reusing a live connection without the dialog: BluetoothConnectTest.
TEST_F(BluetoothTest, OpenConnectsToTheChosenDeviceOrFailsOnCancelNoChoiceOrNoDialog)
{
    BluetoothPort port(m_link);
    EXPECT_EQ(port.Open(), 0) << "no dialog installed";
    installDialog(0, 0);
    EXPECT_EQ(port.Open(), 0);
    installDialog(1, -1);
    EXPECT_EQ(port.Open(), 0);
    installDialog(1, 5); // beyond the list
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(m_state->connectCalls, 0);
    EXPECT_EQ(port.IsOpen(), 0);

    installDialog(1, 1);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(m_state->connectedAddress, 0x0000AABBCCDDEEFFULL);
    const unsigned char frame[2] = {0x55, 0xAA};
    EXPECT_EQ(port.Write(frame, 2), 1);
    EXPECT_EQ(m_state->sent, QByteArray("\x55\xAA"));
}

} // namespace
