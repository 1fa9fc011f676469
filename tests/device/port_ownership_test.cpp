// One owner per port: while a worker (live test or calibration) reads the
// serial line, the interface thread neither writes to the port, nor closes
// it, nor waits for the worker. The device is the virtual spirometer behind a
// real pseudo-terminal and the real SerialPort; the port is wrapped only to
// see which thread does what and to hold a read open for as long as a test
// needs.
#include "device_fixture.h"
#include "support/test_parts.h"

#include "core/device/device_watch.h"
#include "core/device/pty_server.h"
#include "core/device/wire_format.h"
#include "core/session/calibration_session.h"
#include "core/session/device_change_handler.h"

#include <QCoreApplication>

#include <condition_variable>
#include <mutex>

namespace {

using ThreadId = std::thread::id;

// Forwards to a real port and keeps, per call, which thread made it.
class WatchedPort : public DevicePort {
  public:
    explicit WatchedPort(std::unique_ptr<DevicePort> inner) : m_inner(std::move(inner)) {}

    int IsOpen() override { return m_inner->IsOpen(); }
    int Open() override
    {
        note('O', 0);
        return m_inner->Open();
    }
    int Close() override
    {
        note('C', 0);
        return m_inner->Close();
    }
    int Write(const unsigned char* buffer, int count) override
    {
        note('W', count > 0 ? buffer[0] : 0);
        return m_inner->Write(buffer, count);
    }
    int Read(unsigned char* buffer, int count) override
    {
        const int r = m_inner->Read(buffer, count);
        holdIfAsked();
        return r;
    }
    int ReadSome(unsigned char* buffer, int count) override
    {
        const int r = m_inner->ReadSome(buffer, count);
        holdIfAsked();
        return r;
    }
    void SetReadsCancelled(bool cancelled) override { m_inner->SetReadsCancelled(cancelled); }

    struct Call {
        char what; // O open, C close, W write
        unsigned char firstByte;
        ThreadId thread;
    };
    std::vector<Call> Calls()
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    // The next read stays open until Release (or ten seconds, so that a
    // wrong implementation fails instead of hanging).
    void Hold()
    {
        std::lock_guard lock(m_mutex);
        m_holding = true;
    }
    void Release()
    {
        std::lock_guard lock(m_mutex);
        m_holding = false;
        m_changed.notify_all();
    }
    bool WaitUntilHeld()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_inRead; });
    }
    bool InHeldRead()
    {
        std::lock_guard lock(m_mutex);
        return m_inRead;
    }

  private:
    void note(char what, unsigned char firstByte)
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back({what, firstByte, std::this_thread::get_id()});
    }
    void holdIfAsked()
    {
        std::unique_lock lock(m_mutex);
        if (!m_holding)
            return;
        m_inRead = true;
        m_changed.notify_all();
        m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return !m_holding; });
        m_inRead = false;
    }

    std::unique_ptr<DevicePort> m_inner;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Call> m_calls;
    bool m_holding = false;
    bool m_inRead = false;
};

// The serial link as start-up registers it, with its ports watched.
class WatchedSerialFactory : public LinkFactory {
  public:
    explicit WatchedSerialFactory(const QString& portName)
        : m_real([portName] { return QStringList{portName}; })
    {
    }
    std::unique_ptr<DevicePort> MakePort() override
    {
        auto port = std::make_unique<WatchedPort>(m_real.MakePort());
        last = port.get();
        ++made;
        return port;
    }
    std::unique_ptr<DeviceProtocol> MakeProtocol() override { return m_real.MakeProtocol(); }
    LinkKind Kind() const override { return LinkKind::Serial; }

    WatchedPort* last = nullptr;
    int made = 0;

  private:
    SerialLinkFactory m_real;
};

// Calls made on `thread` after the first `from` calls.
int callsOn(const std::vector<WatchedPort::Call>& calls, size_t from, ThreadId thread)
{
    int n = 0;
    for (size_t i = from; i < calls.size(); ++i)
        n += calls[i].thread == thread;
    return n;
}

bool written(const std::vector<WatchedPort::Call>& calls, size_t from, unsigned char command,
             ThreadId notOn)
{
    for (size_t i = from; i < calls.size(); ++i) {
        if (calls[i].what == 'W' && calls[i].firstByte == command && calls[i].thread != notOn)
            return true;
    }
    return false;
}

class PortOwnershipTest : public RealLinkTest {
  protected:
    void SetUp() override
    {
        ensureApplication();
        RealLinkTest::SetUp();
    }
    void TearDown() override
    {
        if (m_factory && m_factory->last)
            m_factory->last->Release();
        RealLinkTest::TearDown();
    }

    // An ascii device on a pseudo-terminal, found through the serial link only.
    bool serve(const SimConfig& config)
    {
        m_server = std::make_unique<PtyServer>(config);
        if (!m_server->Create())
            return false;
        m_server->StartThread();
        m_factory = std::make_unique<WatchedSerialFactory>(m_server->SlaveName());
        Settings().portName = m_server->SlaveName();
        TestParts().devices.SetFactory(LinkKind::Hid, nullptr);
        TestParts().devices.SetFactory(LinkKind::Serial, m_factory.get());
        return true;
    }

    std::unique_ptr<PtyServer> m_server;
    std::unique_ptr<WatchedSerialFactory> m_factory;
    const ThreadId m_interface = std::this_thread::get_id();
};

SimConfig quietAsciiDevice()
{
    SimConfig config = SimConfig::ForSetting(11, SimTest::Fvc);
    config.faults.pauseMs = 60000; // the patient never blows: the worker only waits
    return config;
}

} // namespace

TEST_F(PortOwnershipTest, StopAsksTheWorkerWhichTellsTheDeviceAndLetsGoOfThePortItself)
{
    ASSERT_TRUE(serve(quietAsciiDevice()));
    LiveTestSession session(TestParts());
    std::atomic<bool> ended{false};
    QObject::connect(&session, &LiveTestSession::workerEnded, [&] { ended = true; });
    ASSERT_EQ(session.Start(kTestFvc), LiveTestSession::kStarted);
    WatchedPort* port = m_factory->last;
    ASSERT_NE(port, nullptr);
    port->Hold();
    ASSERT_TRUE(port->WaitUntilHeld());
    const size_t before = port->Calls().size();

    session.Stop();
    EXPECT_EQ(session.Running(), 0);
    EXPECT_EQ(TestParts().store.finished.load(), 1);
    // Stop came back while the worker is still inside the read the test holds.
    EXPECT_TRUE(port->InHeldRead());
    EXPECT_TRUE(session.WorkerActive());
    EXPECT_FALSE(ended.load());
    EXPECT_EQ(callsOn(port->Calls(), before, m_interface), 0) << "no I/O from the stopping thread";
    // Nobody else may close or replace the link meanwhile.
    EXPECT_FALSE(TestParts().devices.ClosePort());
    EXPECT_EQ(TestParts().devices.ConnectDevice(), 0);
    EXPECT_EQ(session.Start(kTestFvc), LiveTestSession::kRefused);

    port->Release();
    ASSERT_TRUE(pumpUntil([&] { return ended.load(); }));
    EXPECT_FALSE(session.WorkerActive());
    const auto calls = port->Calls();
    EXPECT_TRUE(written(calls, before, Wire::Ascii::kStop, m_interface)) << "the worker stops the device";
    EXPECT_EQ(callsOn(calls, before, m_interface), 0);
    // The link is the interface thread's again; a stopped test stores nothing.
    EXPECT_TRUE(TestParts().devices.ClosePort());
    session.Join();
    EXPECT_EQ(caseRows(), 0);
}

TEST_F(PortOwnershipTest, DeviceComingBackRestartsOnlyAfterTheStoppedWorkerLetGo)
{
    ASSERT_TRUE(serve(quietAsciiDevice()));
    QStringList attached = {"/dev/ttyACM0"};
    DeviceWatch watch([&] { return attached; });
    watch.Start(60000);
    LiveTestSession session(TestParts());
    DeviceChangeHandler handler(session, TestParts().devices, watch);
    QStringList order;
    std::atomic<bool> firstLetGo{false};
    QObject::connect(&session, &LiveTestSession::workerEnded, [&] { firstLetGo = true; });
    QObject::connect(&session, &LiveTestSession::endedEarly, &handler,
                     [&] { order << session.Ending().Name(); });
    QObject::connect(&session, &LiveTestSession::startDone, &handler, [&](int result) {
        order << (result == LiveTestSession::kStarted ? "restarted" : "restart failed");
        if (!firstLetGo.load())
            order << "while the stopped worker had the link";
    });

    ASSERT_EQ(session.Start(kTestFvc), LiveTestSession::kStarted);
    WatchedPort* first = m_factory->last;
    const int portsMade = m_factory->made;
    first->Hold();
    ASSERT_TRUE(first->WaitUntilHeld());
    const size_t before = first->Calls().size();

    attached.clear();
    watch.Poll(); // unplugged: the test stops
    attached = {"/dev/ttyACM0"};
    watch.Poll(); // back: a restart after the arrival delay
    // Well past the arrival delay, with the old worker still in its read.
    for (int i = 0; i < 40; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(first->InHeldRead());
    EXPECT_TRUE(order.isEmpty()) << order.join(",").toStdString();
    EXPECT_EQ(callsOn(first->Calls(), before, m_interface), 0)
        << "the port was not closed under the read";

    first->Release();
    ASSERT_TRUE(pumpUntil([&] { return order.contains("restarted"); }))
        << order.join(",").toStdString();
    EXPECT_EQ(order, QStringList({"device-gone", "restarted"}));
    EXPECT_GT(m_factory->made, portsMade) << "the restart made a new link";
    EXPECT_EQ(session.Running(), 1);
    session.Stop();
    ASSERT_TRUE(pumpUntil([&] { return !session.WorkerActive(); }));
    session.Join();
}

TEST_F(PortOwnershipTest, CalibrationEndIsSentAndThePortClosedByTheWorkerThatOwnsIt)
{
    SimConfig config = SimConfig::ForSetting(11, SimTest::Fvc);
    config.calibrationScript = {9}; // "go on", then strokes that never come
    ASSERT_TRUE(serve(config));
    CalibrationSession session(TestParts().devices);
    std::atomic<int> waiting{0}, verdicts{0};
    QObject::connect(&session, &CalibrationSession::verdict, [&](int code) {
        ++verdicts;
        if (code == CalibrationSession::kWaiting)
            waiting = 1;
    });
    ASSERT_EQ(session.Start(2), 1);
    WatchedPort* port = m_factory->last;
    ASSERT_TRUE(pumpUntil([&] { return waiting.load() == 1; }));
    port->Hold();
    ASSERT_TRUE(port->WaitUntilHeld());
    const size_t before = port->Calls().size();

    session.RequestEnd();
    EXPECT_TRUE(port->InHeldRead());
    EXPECT_TRUE(session.WorkerRunning());
    EXPECT_EQ(callsOn(port->Calls(), before, m_interface), 0);
    EXPECT_EQ(TestParts().devices.ConnectDevice(), 0) << "the link is the worker's";

    port->Release();
    ASSERT_TRUE(pumpUntil([&] { return !session.WorkerRunning(); }));
    session.Join();
    const auto calls = port->Calls();
    EXPECT_TRUE(written(calls, before, Wire::Ascii::kEndCalibration, m_interface));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().what, 'C');
    EXPECT_NE(calls.back().thread, m_interface);
    EXPECT_EQ(callsOn(calls, before, m_interface), 0);
    EXPECT_EQ(port->IsOpen(), 0);
    EXPECT_EQ(verdicts.load(), 2) << "testing, waiting; a cancel adds no verdict";
}
