#pragma once
// One live FVC, VC or MVV test without a window: the start sequence, the
// receive worker and the hand-over to the test-file writer. A page or the
// command line follows it through its signals (queued across threads).
#include "core/measure/test_file_writer.h"
#include "core/session/assembler_sink.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
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
    // Silence after the device became active ends the test with a time-out
    // once it lasts this long, on every link: ten reads of the serial link's
    // longest read time-out.
    static constexpr int kSilenceLimitMs = 32500;
    // A protocol waiting for a resend is asked to act after this much quiet.
    static constexpr int kResendQuietMs = 300;
    // An FVC session ends by itself once this many manoeuvres are blown.
    static constexpr int kMaxFvcManeuvers = 8;

    explicit LiveTestSession(MeasurementParts& parts, QObject* parent = nullptr);
    LiveTestSession(DeviceManager& manager, MeasurementStore& store, FlowEngine& engine,
                    CurvePointList& points, QObject* parent = nullptr);
    ~LiveTestSession() override;

    // Runs the start sequence and starts the receive worker, which has the
    // link to itself until it ends (workerEnded). Refused while a worker,
    // even a stopping one, still has it.
    StartResult Start(int testType);
    // Ends a running test without waiting: the worker's read is cut short,
    // the worker tells the device to stop on its own thread and leaves
    // (workerEnded). The interface thread reacts to that signal.
    void Stop();
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
    // Keeps every byte the device sends during the next test, in order, in `bytes`
    // (filled by the worker; read it after Join). nullptr stops recording.
    void RecordStream(QByteArray* bytes) { m_recorded = bytes; }

    // The writer, after deviceFinished (the worker has let go of the link
    // by then): fills in what the protocol knows
    // (coefficients, temperature, device identifier, test type) and whether
    // the coefficients were BTPS-corrected, saves, and closes the link. The
    // caller gives the reference set in `context.basis`.
    SaveResult Save(int request, SaveContext context, Database& db);

  Q_SIGNALS:
    void promptChanged(const QString& text);
    // How the test ended, sent after the worker let go of the link:
    void deviceFinished(int request); // the device reported the end: run Save
    void deviceAborted();             // the device stopped the test
    void timedOut();                  // silent or lost device: "USB CONNECT ERROR!"
    void tidalFound();                // VC tests: four stable tidal breaths
    void dataLost();                  // pulses could not be had again: repeat the blow
    void workerEnded();               // the last signal of every worker

  private:
    enum class End { None, Finished, Aborted, TimedOut };
    void receive(DeviceProtocol* protocol);
    // Acts on a ParseStream (or LinkIdle) result; false when the test is over.
    bool handle(DeviceProtocol* protocol, int result, End& end);
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
    std::atomic<bool> m_finishRequested{false};
    std::atomic<bool> m_workerActive{false};
    std::thread m_worker;
    QByteArray* m_recorded = nullptr;
    QString m_startError;
};
