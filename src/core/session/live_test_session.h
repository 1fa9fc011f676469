#pragma once
// One live FVC, VC or MVV test without a window: the start sequence, the
// receive worker and the hand-over to the test-file writer. A page or the
// command line follows it through its signals (queued across threads).
#include "core/measure/test_file_writer.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <thread>

class CurvePointList;
class Database;
class DeviceManager;
class DeviceProtocol;
class FlowEngine;
class MeasurementStore;

class LiveTestSession : public QObject {
    Q_OBJECT
  public:
    enum StartResult {
        kStarted = 0,
        kRefused,       // a test is running
        kNoDevice,      // no device answered: show "Please check the connection!"
        kLowBattery,    // the link was closed
        kCommandFailed, // coefficients, temperature or start failed
    };
    // More than this many empty reads in a row after the device became active
    // end the test with a time-out (on links that count them).
    static constexpr int kIdlePollLimit = 10;
    static constexpr int kBlockSize = 64;

    explicit LiveTestSession(QObject* parent = nullptr);
    LiveTestSession(DeviceManager& manager, MeasurementStore& store, FlowEngine& engine,
                    CurvePointList& points, QObject* parent = nullptr);
    ~LiveTestSession() override;

    // Runs the start sequence and starts the receive worker.
    StartResult Start(int testType);
    // Ends a running test from the interface thread; the worker leaves after
    // its current read (Join waits for that).
    void Stop();
    void Join();
    int Running() const { return m_running.load(); }
    int TestType() const { return m_testType; }
    int ResendRequests() const { return m_resends.load(); }

    // The writer, after deviceFinished: fills in what the protocol knows
    // (coefficients, temperature, device identifier, test type), saves, and
    // closes the link.
    SaveResult Save(int request, SaveContext context, Database& db);

  Q_SIGNALS:
    void promptChanged(const QString& text);
    void deviceFinished(int request); // the device reported the end: run Save
    void deviceAborted();             // the device stopped the test
    void timedOut();                  // silent or lost device: "USB CONNECT ERROR!"
    void tidalFound();                // VC tests: four stable tidal breaths
    void workerEnded();

  private:
    void receive(DeviceProtocol* protocol, bool countIdle);
    void prompt(const QString& text);

    DeviceManager& m_manager;
    MeasurementStore& m_store;
    FlowEngine& m_engine;
    CurvePointList& m_points;
    int m_testType = 0;
    std::atomic<int> m_running{0};
    std::atomic<int> m_resends{0};
    std::thread m_worker;
};
