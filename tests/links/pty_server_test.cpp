// The virtual spirometer served on a pseudo-terminal, reached through the
// real SerialPort, as users come and go. (A whole test over it equals the
// in-process device's: TransportEquivalenceTest.)
#include "support/temp_home.h"

#include "core/app/system_settings.h"
#include "core/device/pty_server.h"
#include "core/device/serial_port.h"
#include "core/device/wire_format.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

class PtyServerTest : public ::testing::Test {
  protected:
    void startServer(const SimConfig& config)
    {
        m_server = std::make_unique<PtyServer>(config);
        ASSERT_TRUE(m_server->Create());
        m_server->StartThread();
        Settings().portName = m_server->SlaveName();
    }
    TempHome m_home;
    std::unique_ptr<PtyServer> m_server;
};

TEST_F(PtyServerTest, ConnectionsComeAndGoAndAnAbandonedStreamDoesNotLinger)
{
    // Pulses at their real pace, so that a test is still running when its
    // user lets go.
    SimConfig config = SimConfig::ForSetting(11, SimTest::Fvc);
    config.realTime = true;
    startServer(config);
    unsigned char reply[16] = {};
    for (int round = 1; round <= 2; ++round) {
        // Closed and opened again at once, as the device manager's probe does.
        SerialPort port([] { return QStringList(); });
        ASSERT_EQ(port.Open(), 1) << "round " << round;
        const unsigned char version = Wire::Ascii::kVersion;
        ASSERT_EQ(port.Write(&version, 1), 1);
        ASSERT_EQ(port.Read(reply, 1), 1);
        EXPECT_EQ(reply[0], Wire::Ascii::kVersionReply);
    }
    {
        // A user that goes away in the middle of a test.
        SerialPort port([] { return QStringList(); });
        ASSERT_EQ(port.Open(), 1);
        const unsigned char start = Wire::Ascii::kStart;
        ASSERT_EQ(port.Write(&start, 1), 1);
        ASSERT_EQ(port.Read(reply, 1), 1);
        EXPECT_EQ(reply[0], Wire::Ascii::kStartReply);
    }
    // Nobody holds the port in the middle of a test: the device is switched
    // off and on, and the next user finds it quiet.
    for (int i = 0; i < 1000 && m_server->Sessions() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(m_server->Sessions(), 2) << "only the abandoned test renews the device";
    SerialPort port([] { return QStringList(); });
    ASSERT_EQ(port.Open(), 1);
    std::fill(std::begin(reply), std::end(reply), 0);
    EXPECT_EQ(port.Read(reply, 16), 0) << "no stream left over from the last user";
}

} // namespace
