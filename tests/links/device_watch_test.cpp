// Device arrival and removal during a live test: the watch's comparison of
// device lists, and the live test's reaction to it.
#include "device/device_fixture.h"
#include "support/test_parts.h"

#include "core/app/lang_text.h"
#include "core/device/device_watch.h"
#include "core/session/device_change_handler.h"

#include <QCoreApplication>

namespace {

TEST(DeviceWatch, ReportsWhatChangedBetweenTwoLooks)
{
    QStringList attached = {"/dev/ttyACM0", "/dev/hidraw2"};
    DeviceWatch watch([&] { return attached; });
    QStringList seen;
    QObject::connect(&watch, &DeviceWatch::removed, [&] { seen << "removed"; });
    QObject::connect(&watch, &DeviceWatch::arrived, [&] { seen << "arrived"; });
    watch.Start(60000); // looks are made by hand below
    watch.Poll();
    EXPECT_TRUE(seen.isEmpty()) << "nothing changed";

    attached = {"/dev/hidraw2"};
    watch.Poll();
    EXPECT_EQ(seen, QStringList({"removed"}));

    attached = {"/dev/ttyACM0", "/dev/hidraw2"};
    watch.Poll();
    EXPECT_EQ(seen, QStringList({"removed", "arrived"}));

    // Unplugged and plugged in between two looks, under another name.
    seen.clear();
    attached = {"/dev/ttyACM1", "/dev/hidraw2"};
    watch.Poll();
    EXPECT_EQ(seen, QStringList({"removed", "arrived"}));
    watch.Stop();
}

class DeviceChangeTest : public DeviceTest {
  protected:
    void SetUp() override
    {
        ensureApplication();
        DeviceTest::SetUp();
        Settings().communication = 1;
        // A device that paces its pulses in real time keeps the test running.
        SimConfig config = SimConfig::ForSetting(1, SimTest::Fvc);
        config.realTime = true;
        useDevice(config);
        QObject::connect(&m_handler, &DeviceChangeHandler::promptChanged,
                         [this](const QString& text) { m_prompts << text; });
        QObject::connect(&m_handler, &DeviceChangeHandler::connectionLost,
                         [this] { ++m_lossBoxes; });
        QObject::connect(&m_session, &LiveTestSession::startDone, &m_handler,
                         [this](int result) { m_restarts << result; });
        m_watch.Start(60000);
    }
    void TearDown() override
    {
        m_session.Stop();
        m_session.Join();
        DeviceTest::TearDown();
    }

    QStringList m_attached = {"/dev/ttyACM0", "/dev/hidraw0"};
    DeviceWatch m_watch{[this] { return m_attached; }};
    LiveTestSession m_session{TestParts()};
    DeviceChangeHandler m_handler{m_session, TestParts().devices, m_watch};
    QStringList m_prompts;
    int m_lossBoxes = 0;
    QList<int> m_restarts;
};

TEST_F(DeviceChangeTest, UnpluggingStopsTheTestAndPluggingInRestartsIt)
{
    ASSERT_EQ(m_session.Start(0), LiveTestSession::kStarted);
    // The device's two interfaces go one after the other. The test ends as
    // "device gone" and says so itself: no connection box besides.
    m_attached = {"/dev/ttyACM0"};
    m_watch.Poll();
    EXPECT_EQ(m_session.Running(), 0);
    ASSERT_TRUE(waitForEnd(m_session));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_session.Ending().end, TestEnd::DeviceGone);
    m_attached.clear();
    m_watch.Poll();
    EXPECT_EQ(m_lossBoxes, 0);

    m_attached = {"/dev/ttyACM0", "/dev/hidraw0"};
    m_watch.Poll();
    ASSERT_TRUE(pumpUntil([this] { return !m_restarts.isEmpty(); }));
    EXPECT_EQ(m_restarts.first(), LiveTestSession::kStarted);
    EXPECT_EQ(m_prompts.last(), GetLangText("MESSAGE", 1206));
    EXPECT_EQ(m_session.Running(), 1);

    // Unplugged with no test running: the box, once.
    m_session.Stop();
    ASSERT_TRUE(waitForEnd(m_session));
    QCoreApplication::processEvents();
    m_attached.clear();
    m_watch.Poll();
    m_attached = {"/dev/hidraw0"};
    m_watch.Poll();
    m_attached.clear();
    m_watch.Poll();
    EXPECT_EQ(m_lossBoxes, 1);
    EXPECT_EQ(m_prompts.last(), GetLangText("MESSAGE", 1207));
}

TEST_F(DeviceChangeTest, LossAlreadyReportedByTheReaderIsNotShownAgain)
{
    // A device that drops the link in the middle of the test: the reader
    // finds the port gone and reports it before the watch looks.
    SimConfig config = SimConfig::ForSetting(1, SimTest::Fvc);
    config.faults.disconnectAfterPulse = 50;
    useDevice(config);
    bool endedEarly = false;
    QObject::connect(&m_session, &LiveTestSession::endedEarly, [&] { endedEarly = true; });
    ASSERT_EQ(m_session.Start(0), LiveTestSession::kStarted);
    ASSERT_TRUE(waitForEnd(m_session));
    QCoreApplication::processEvents();
    ASSERT_TRUE(endedEarly);
    EXPECT_EQ(m_session.Ending().end, TestEnd::DeviceGone);
    m_attached.clear();
    m_watch.Poll();
    EXPECT_EQ(m_lossBoxes, 0);
    EXPECT_EQ(m_prompts, QStringList({GetLangText("MESSAGE", 1207)}));
}

TEST_F(DeviceChangeTest, BluetoothLinksIgnoreUsbChanges)
{
    ASSERT_EQ(m_session.Start(0), LiveTestSession::kStarted);
    Settings().communication = 0;
    m_attached.clear();
    m_watch.Poll();
    m_attached = {"/dev/ttyACM0"};
    m_watch.Poll();
    for (int i = 0; i < 40; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(m_session.Running(), 1);
    EXPECT_TRUE(m_prompts.isEmpty());
    EXPECT_EQ(m_lossBoxes, 0);
    EXPECT_TRUE(m_restarts.isEmpty());
}

} // namespace
