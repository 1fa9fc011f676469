#pragma once
// One live FVC, VC or MVV test without a window: the start sequence, the
// receive worker and the hand-over to the test-file writer. A page or the
// command line follows it through its signals (queued across threads).
#include "core/measure/test_file_writer.h"
#include "core/session/assembler_sink.h"
#include "core/session/stream_receiver.h"
#include "core/session/test_ending.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

class Database;
class DeviceManager;
class DeviceProtocol;
struct MeasurementParts;

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
    static constexpr int kBlockSize = 64;
    // Silence ends the test once it lasts this long, on every link and also
    // before the first blow: ten reads of the serial link's longest read time-out.
    static constexpr int kSilenceLimitMs = 32500;
    // A protocol waiting for a resend is asked to act after this much quiet.
    static constexpr int kResendQuietMs = 300;

    explicit LiveTestSession(MeasurementParts& parts, QObject* parent = nullptr);
    LiveTestSession(DeviceManager& manager, MeasurementStore& store, FlowEngine& engine,
                    CurvePointList& points, QObject* parent = nullptr);
    ~LiveTestSession() override;

    // Runs the start sequence and starts the receive worker, which has the
    // link to itself until it ends (workerEnded). Refused while a worker,
    // even a stopping one, still has it. Waits for the device: for the
    // command line and tests.
    StartResult Start(int testType);
    // The same on the worker thread, for the interface thread: returns at
    // once (false when refused) and reports by startDone.
    bool StartInBackground(int testType);
    // Ends a running test (or one still starting) without waiting: the
    // worker's read is cut short, the worker tells the device to stop on its
    // own thread and leaves (endedEarly with `reason`, then workerEnded).
    void Stop(TestEnd reason = TestEnd::Closed);
    // Ends an FVC session on the user's word, keeping the blows so far: the
    // worker tells the device to stop and reports deviceFinished, as at the
    // eighth manoeuvre. A blow under way is not kept.
    void Finish();
    // Waits for the worker: for the command line and tests, never the
    // interface thread while WorkerActive().
    void Join();
    int Running() const { return m_running.load(); }
    // The worker still has the link (a stopped test's worker may be leaving).
    bool WorkerActive() const { return m_workerActive.load(); }
    int TestType() const { return m_testType; }
    int ResendRequests() const { return m_resends.load(); }
    // The test's BTPS-corrected expiratory coefficient (after Start).
    int ExpCoefficient() const { return m_expCoefficient; }
    // Times pulses were given up for good during the test.
    int DataLosses() const { return m_sink.Losses(); }
    // Why the last Start gave kCommandFailed, in the user's words.
    QString StartError() const { return m_startError; }
    // Tests shorten the silence that ends a test.
    void SetSilenceLimit(int milliseconds) { m_silenceLimitMs = milliseconds; }
    // How the last test ended and what of it can be kept (after endedEarly
    // or deviceFinished).
    TestEnding Ending() const { return m_ending; }
    // Keeps every byte the device sends during the next test, in order, in `bytes`
    // (filled by the worker; read it after Join). nullptr stops recording.
    void RecordStream(QByteArray* bytes) { m_recorded = bytes; }

    // The writer, after deviceFinished (the worker has let go of the link
    // by then): fills in what the protocol knows
    // (coefficients, temperature, device identifier, test type) and whether
    // the coefficients were BTPS-corrected, saves, and closes the link. The
    // caller gives the reference set in `context.basis`.
    SaveResult Save(int request, SaveContext context, Database& db);
    // Save on the worker thread, for the interface thread; returns at once
    // (false while a worker has the link). The worker opens its own
    // connection to `records` (a connection belongs to its thread); `rows`
    // gives the context its session rows on that connection and `after`
    // runs there once saved (a text it returns goes to the prompt line).
    // saved() reports, LastSave() holds the result.
    using OnRecords = std::function<void(Database&, SaveContext&)>;
    using AfterSave = std::function<QString(Database&, const SaveResult&)>;
    bool SaveInBackground(int request, SaveContext context, const Database& records,
                          OnRecords rows, AfterSave after);
    SaveResult LastSave() const { return m_lastSave; }

  Q_SIGNALS:
    void promptChanged(const QString& text);
    // The start sequence of StartInBackground ran; `result` is a StartResult.
    void startDone(int result);
    // How the test ended, sent after the worker let go of the link:
    void deviceFinished(int request); // the device reported the end: run Save
    // Time-out, lost device, the device's own stop or the user's close:
    // Ending() says which and how many whole blows Save would keep.
    void endedEarly();
    // SaveInBackground is done (before its workerEnded).
    void saved();
    void tidalFound();                // VC tests: four stable tidal breaths
    void dataLost();                  // pulses could not be had again: repeat the blow
    void workerEnded();               // the last signal of every worker

  private:
    // The start sequence up to the worker's loop; the link stays lent to
    // this session when it succeeds.
    StartResult startSequence(int testType);
    void startAndReceive(int testType);
    void receive(DeviceProtocol* protocol);
    // False when the device ended or stopped the test, with how in `end`.
    bool streaming(DeviceProtocol* protocol, const StreamReceiver& receiver, TestEnd& end);
    // The worker's last acts: lets go of the link and reports how it ended.
    void letGo(DeviceProtocol* protocol, bool ended, TestEnd end, bool tidalReported,
               int lossesReported);
    SaveResult save(int request, SaveContext context, Database& db);
    // Joins a worker that has let go of the link (it is only returning).
    void reapWorker();
    void prompt(const QString& text);

    DeviceManager& m_manager;
    MeasurementStore& m_store;
    FlowEngine& m_engine;
    CurvePointList& m_points;
    AssemblerSink m_sink;
    int m_testType = 0;
    int m_expCoefficient = 0;
    int m_btps = -1; // the BTPS setting the last start read its coefficients with
    int m_silenceLimitMs = kSilenceLimitMs;
    std::atomic<int> m_running{0};
    std::atomic<int> m_resends{0};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<TestEnd> m_stopReason{TestEnd::Closed};
    TestEnding m_ending;   // written by the worker before it reports
    SaveResult m_lastSave; // the same
    std::atomic<bool> m_finishRequested{false};
    std::atomic<bool> m_workerActive{false};
    std::thread m_worker;
    QByteArray* m_recorded = nullptr;
    QString m_startError;
};
