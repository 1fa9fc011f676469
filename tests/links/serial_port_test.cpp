// SerialPort against real pseudo-terminals: the handshake, discovery and the
// PORTNAME write-back, the read time-outs and the input drop before writes.
#include "pty_device.h"
#include "support/temp_home.h"

#include "core/app/app_paths.h"
#include "core/app/system_settings.h"
#include "core/device/port_discovery.h"
#include "core/device/serial_port.h"
#include "core/device/wire_format.h"

#include <gtest/gtest.h>

#include <QFile>

#include <chrono>
#include <thread>

namespace {

SerialPort::PortLister listOf(const QStringList& names)
{
    return [names] { return names; };
}

QByteArray settingsFile(const QString& portName)
{
    // Odd spacing and a foreign section: the file must survive exactly as written.
    return "; device settings\r\n[SYSTEM]\r\nCOMMUNICATION = 1\r\nCOMPORT=7\r\n"
           "PORTNAME=" +
           portName.toLocal8Bit() + "\r\n[Other]\r\nkey=value\r\n";
}

TEST(SerialPortOpen, ConfiguredPortThatAnswersLeavesSettingsFileUntouched)
{
    TempHome home;
    PtyDevice device(AnswerE('T'));
    const QByteArray ini = settingsFile(device.name());
    home.write("System.ini", ini);
    Settings().Load(AppPaths::SettingsFile());
    ASSERT_EQ(Settings().portName, device.name());

    bool listed = false;
    SerialPort port([&] {
        listed = true;
        return QStringList();
    });
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(port.IsOpen(), 1);
    EXPECT_EQ(port.PortName(), device.name());
    EXPECT_FALSE(listed) << "discovery must not run when the configured port answers";
    EXPECT_EQ(device.received(), QByteArray("E"));
    EXPECT_EQ(home.read("System.ini"), ini);
}

TEST(SerialPortOpen, WrongAnswerClosesPortAndDiscoveryWritesBackTheOneThatAnswered)
{
    TempHome home;
    PtyDevice wrong(AnswerE('X'));
    PtyDevice silent;
    PtyDevice right(AnswerE('T'));
    PtyDevice later(AnswerE('T'));
    home.write("System.ini", settingsFile(wrong.name()));
    Settings().Load(AppPaths::SettingsFile());

    // The first answering candidate in the listed order wins.
    SerialPort port(listOf({"/dev/tav-no-such-port", silent.name(), right.name(), later.name()}));
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(port.PortName(), right.name());
    EXPECT_EQ(wrong.received(), QByteArray("E"));
    EXPECT_EQ(silent.received(), QByteArray("E"));
    EXPECT_TRUE(later.received().isEmpty());
    EXPECT_EQ(Settings().portName, right.name());
    // Only the one key changed; COMPORT keeps its value and the rest stays.
    EXPECT_EQ(home.read("System.ini"), settingsFile(right.name()));

    // The refused port was released: it can be opened exclusively again.
    wrong.setResponder(AnswerE('T'));
    Settings().portName = wrong.name();
    SerialPort again(listOf({}));
    EXPECT_EQ(again.Open(), 1);
    EXPECT_EQ(again.PortName(), wrong.name());
}

TEST(SerialPortOpen, NoDeviceAnywhereFailsWithoutTouchingSettings)
{
    TempHome home;
    PtyDevice silent;
    Settings().portName = "/dev/tav-missing";
    SerialPort port(listOf({silent.name()}));
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_FALSE(QFile::exists(AppPaths::SettingsFile()));
    unsigned char byte = 'E';
    EXPECT_EQ(port.Write(&byte, 1), 0);
    EXPECT_EQ(port.Read(&byte, 1), 0);
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.Close(), 1);
}

class SerialPortIo : public ::testing::Test {
  protected:
    void SetUp() override
    {
        Settings().portName = m_device.name();
        ASSERT_EQ(m_port.Open(), 1);
    }
    TempHome m_home;
    PtyDevice m_device{AnswerE('T')};
    SerialPort m_port{listOf({})};
};

TEST_F(SerialPortIo, WriteDropsInputThatWasNotRead)
{
    m_device.setResponder(
        [](unsigned char byte) { return byte == 'Q' ? QByteArray("ok") : QByteArray(); });
    m_device.send("stale");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const unsigned char command = 'Q';
    ASSERT_EQ(m_port.Write(&command, 1), 1);
    unsigned char reply[8] = {};
    ASSERT_EQ(m_port.Read(reply, 2), 1);
    EXPECT_STREQ(reinterpret_cast<char*>(reply), "ok");
}

TEST_F(SerialPortIo, BytesWithinTheGapLimitJoinLaterOnesDoNot)
{
    std::thread sender([this] {
        m_device.send("ab");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_device.send("cd");
        // Far beyond the 100 ms between bytes, though still inside the
        // 50 x 64 + 50 ms the whole read may take.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        m_device.send("late");
    });
    unsigned char buffer[65] = {};
    EXPECT_EQ(m_port.ReadSome(buffer, 64), 4);
    sender.join();
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "abcd");
}

// The first byte may come late within the total limit; a reply is whole or
// the read fails (never padded to look whole); ReadSome says what came.
TEST_F(SerialPortIo, ReadsWaitForTheWholeReplyWithinTheTotalLimit)
{
    std::thread sender([this] {
        // 200 ms before the first byte: longer than the gap limit, well
        // inside the 50 x 10 + 50 ms a 10-byte read allows.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        m_device.send("0123456789");
    });
    unsigned char buffer[11] = {};
    EXPECT_EQ(m_port.Read(buffer, 10), 1);
    sender.join();
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "0123456789");

    m_device.send("abc");
    EXPECT_EQ(m_port.Read(buffer, 10), 0);
    m_device.send("abc");
    std::fill(std::begin(buffer), std::end(buffer), 0);
    ASSERT_EQ(m_port.ReadSome(buffer, 10), 3);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "abc");
    EXPECT_EQ(m_port.Read(buffer, 1), 0); // nothing at all: the time is up
}

TEST(SerialPortLost, DeviceThatGoesAwayLeavesThePortClosed)
{
    TempHome home;
    auto device = std::make_unique<PtyDevice>(AnswerE('T'));
    Settings().portName = device->name();
    SerialPort port(listOf({}));
    ASSERT_EQ(port.Open(), 1);
    device.reset(); // the other end of the line is gone, as if unplugged
    unsigned char buffer[64] = {};
    EXPECT_EQ(port.Read(buffer, 64), 0);
    EXPECT_EQ(port.IsOpen(), 0) << "a reader must be able to tell a lost device from silence";
    EXPECT_EQ(port.Close(), 1);
    EXPECT_TRUE(port.PortName().isEmpty());
}

TEST(PortDiscovery, KeepsOnlyTheDeviceIdentityInSystemOrder)
{
    const QList<PortDiscovery::PortInfo> ports = {
        {"/dev/ttyS0", false, -1, -1},          {"/dev/ttyACM3", true, 0x2047, 0x0300},
        {"/dev/ttyACM0", true, 0x2047, 0x0302}, {"/dev/ttyUSB0", true, 0x0403, 0x0300},
        {"/dev/ttyACM1", true, 0x2047, 0x0300},
    };
    EXPECT_EQ(PortDiscovery::Select(ports, 0x2047, 0x0300),
              QStringList({"/dev/ttyACM3", "/dev/ttyACM1"}));
    EXPECT_TRUE(PortDiscovery::Select({}, 0x2047, 0x0300).isEmpty());
}

// Runs only when TAV_SERIAL_DEVICE names the port of an attached spirometer:
// the libserialport line, which pseudo-terminals cannot reach.
TEST(SerialPortHardware, AttachedSpirometerAnswersOnItsPort)
{
    const QString name = qEnvironmentVariable("TAV_SERIAL_DEVICE");
    if (name.isEmpty())
        GTEST_SKIP() << "set TAV_SERIAL_DEVICE to the spirometer's serial port";
    TempHome home;
    Settings().portName = name;
    SerialPort port;
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(port.PortName(), name);
    const unsigned char version = Wire::Ascii::kVersion;
    ASSERT_EQ(port.Write(&version, 1), 1);
    unsigned char reply[2] = {};
    ASSERT_EQ(port.Read(reply, 1), 1);
    EXPECT_EQ(reply[0], Wire::Ascii::kVersionReply);
}

} // namespace
