// HidPort and CHID over a HID device played in memory.
#include "fake_hid_backend.h"
#include "support/data_table.h"

#include "core/device/chid.h"
#include "core/device/hid_port.h"
#include "core/device/wire_format.h"

#include <gtest/gtest.h>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int v : values)
        result.append(static_cast<char>(v));
    return result;
}

class HidPortTest : public ::testing::Test {
  protected:
    std::unique_ptr<HidPort> openPort(const QByteArray& descriptor)
    {
        m_state->devices = {SpirometerHid("/dev/hidraw3")};
        m_state->descriptor = descriptor;
        auto port = std::make_unique<HidPort>(std::make_unique<FakeHidBackend>(m_state));
        EXPECT_EQ(port->Open(), 1);
        return port;
    }
    std::shared_ptr<FakeHidState> m_state = std::make_shared<FakeHidState>();
};

TEST_F(HidPortTest, FramesAreCutIntoReportsOfTheDescriptorsLength)
{
    auto port = openPort(VendorDescriptor(8));
    ASSERT_EQ(port->ReportLength(), 9);
    const unsigned char frame[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_EQ(port->Write(frame, 10), 1);
    ASSERT_EQ(m_state->written.size(), 2);
    EXPECT_EQ(m_state->written[0], bytes({0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(m_state->written[1], bytes({0, 9, 10, 0, 0, 0, 0, 0, 0}));
    unsigned char untouched[1] = {0x77};
    EXPECT_EQ(port->Write(untouched, 0), 1);
    EXPECT_EQ(port->Read(untouched, 0), 1);
    EXPECT_EQ(m_state->written.size(), 2);
    EXPECT_EQ(untouched[0], 0x77);

    // Descriptor unreadable: full 65-byte reports.
    port.reset();
    m_state->written.clear();
    port = openPort(QByteArray());
    ASSERT_EQ(port->ReportLength(), 65);
    ASSERT_EQ(port->Write(frame, 2), 1);
    ASSERT_EQ(m_state->written.size(), 1);
    EXPECT_EQ(m_state->written[0], bytes({0, 1, 2}) + QByteArray(62, '\0'));
}

TEST_F(HidPortTest, ReadJoinsReportsAndKeepsMissingPartAsItWas)
{
    auto port = openPort(VendorDescriptor(8));
    m_state->input = {bytes({1, 2, 3, 4, 5, 6, 7, 8}), bytes({9, 10, 11, 12, 13, 14, 15, 16})};
    unsigned char buffer[11] = {};
    ASSERT_EQ(port->Read(buffer, 10), 1);
    // The second report carried more than the two bytes still wanted.
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buffer), 11),
              bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0}));

    // First report times out, the second comes: the result is a failure, and
    // only the second part is filled in.
    m_state->input = {QByteArray(), bytes({21, 22})};
    unsigned char partial[10];
    std::fill(std::begin(partial), std::end(partial), 0xEE);
    EXPECT_EQ(port->Read(partial, 10), 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(partial), 10),
              bytes({0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 21, 22}));
}

TEST_F(HidPortTest, FailedReportDoesNotStopTheOthers)
{
    auto port = openPort(VendorDescriptor(8));
    m_state->failWriteNumber = 0;
    const unsigned char frame[12] = {};
    EXPECT_EQ(port->Write(frame, 12), 0);
    EXPECT_EQ(m_state->written.size(), 2);
}

TEST_F(HidPortTest, SilenceKeepsThePortOpenAnUnpluggedDeviceDoesNot)
{
    auto port = openPort(VendorDescriptor(64));
    unsigned char buffer[64] = {};
    EXPECT_EQ(port->Read(buffer, 64), 0); // nothing came within the wait
    EXPECT_EQ(port->IsOpen(), 1);
    m_state->unplugged = true;
    EXPECT_EQ(port->Read(buffer, 64), 0);
    EXPECT_EQ(port->IsOpen(), 0);
    port->Close();
    EXPECT_FALSE(m_state->open);
    EXPECT_EQ(port->Read(buffer, 0), 0) << "a closed port reads nothing";
    EXPECT_EQ(port->Write(buffer, 1), 0);
    // Plugged in again: a new open finds it.
    m_state->unplugged = false;
    EXPECT_EQ(port->Open(), 1);
}

TEST_F(HidPortTest, OpenMatchesIdentityAndStringsAndTriesTenTimes)
{
    m_state->devices = {{"/dev/hidraw0", 0x2047, 0x0302, "Texas Instruments", "Other gadget"},
                        {"/dev/hidraw1", 0x2047, 0x0300, "Texas Instruments", "Spirometer"},
                        SpirometerHid("/dev/hidraw2"),
                        SpirometerHid("/dev/hidraw5")};
    m_state->openFailures = 9;
    HidPort port(std::make_unique<FakeHidBackend>(m_state));
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(m_state->openedPath, "/dev/hidraw2");
    EXPECT_EQ(m_state->openCalls, 10);
    port.Close();
    EXPECT_FALSE(m_state->open);
    EXPECT_EQ(port.IsOpen(), 0);

    m_state->openFailures = 10;
    m_state->openCalls = 0;
    HidPort never(std::make_unique<FakeHidBackend>(m_state));
    EXPECT_EQ(never.Open(), 0);
    EXPECT_EQ(m_state->openCalls, 10);
    EXPECT_EQ(never.ReportLength(), 0);
}

// Descriptors come from the device (hid_descriptors.csv): sizes and counts of
// up to 2^32 - 1 must not overflow the sum, and no read goes past the end.
TEST(HidReportDescriptor, EachDescriptorGivesItsReportLength)
{
    const std::vector<DataRow> rows = ReadDataTable(HID_DESCRIPTORS_FILE);
    for (const DataRow& row : rows)
        EXPECT_EQ(
            CHID::ReportLengthFromDescriptor(QByteArray::fromHex(row["descriptor"].toLatin1())),
            row.number("length"))
            << row["what"].toStdString();
    EXPECT_EQ(rows.size(), 10u);
}

// Runs only when TAV_HID_DEVICE is set and a HID spirometer is attached.
TEST(HidPortHardware, AttachedSpirometerAnswersTheConnectionFrame)
{
    if (qEnvironmentVariableIsEmpty("TAV_HID_DEVICE"))
        GTEST_SKIP() << "set TAV_HID_DEVICE=1 with a HID spirometer attached";
    HidPort port;
    ASSERT_EQ(port.Open(), 1);
    EXPECT_GT(port.ReportLength(), 1);
    const Wire::Bytes connect = Wire::ChecksumFrame(Wire::Frame::kConnect, {});
    ASSERT_EQ(port.Write(connect.data(), int(connect.size())), 1);
    unsigned char reply[64] = {};
    ASSERT_EQ(port.Read(reply, 64), 1);
    EXPECT_EQ(reply[0], Wire::Frame::kConnectReply);
}

} // namespace
