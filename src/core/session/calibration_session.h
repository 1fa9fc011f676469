#pragma once
// Calibration of the flow sensor with a 2 L or 3 L syringe, without a
// window: a worker starts the calibration on the device, polls its status
// and reports each verdict. The device adjusts its own coefficients.
#include <QObject>

#include <atomic>
#include <thread>

class DeviceManager;
class DeviceProtocol;

class CalibrationSession : public QObject {
    Q_OBJECT
  public:
    // Verdict codes and what the dialog shows for them.
    enum Verdict {
        kChooseVolume = 0, // box 1152
        kTimeOut = 1,      // box 1240: the device refused the start
        kWrongSyringe = 2, // box 1156
        kReplaceBlade = 3, // box 1154
        kRepeat = 4,       // prompt 1179
        kRepeatStart = 5,  // nothing shown (posted)
        kSuccess = 6,      // box 1157
        kTesting = 7,      // prompt 1153 "Please testing......"
        kFailure = 8,      // box 1264
        kWaiting = 9,      // prompt 1333
        kClose = 10,       // close the dialog with OK (posted)
        kNoDevice = 11,    // StartInBackground: no device answered, box 138
    };
    static constexpr int kStatusTries = 150;

    explicit CalibrationSession(DeviceManager& manager, QObject* parent = nullptr);
    ~CalibrationSession() override;

    // Volume code for the list selection: 3 for "3L" (index 1), else 2.
    static int VolumeCode(int selection);
    // The worker's action for one status value: the verdict to report (-1
    // none), whether the loop goes on, and whether the calibration is ended
    // on the device first.
    struct Step {
        int verdict = -1;
        bool keepWaiting = false;
        bool endCalibration = false;
    };
    static Step StepFor(int status);

    // Opens the link and starts the worker (once), which has the link to
    // itself until workerEnded. 0 when no device answered: the caller shows
    // "Please check the connection!".
    int Start(int volumeCode);
    // The same for the interface thread: the link is opened on the worker,
    // which reports kNoDevice when no device answered. False while a worker runs.
    bool StartInBackground(int volumeCode);
    // Asks the worker to end without waiting: its read is cut short, it ends
    // the calibration on the device on its own thread, closes the link and
    // sends workerEnded. The interface thread reacts to that signal.
    void RequestEnd();
    // RequestEnd, then waits: for the command line and tests.
    void Cancel();
    void Join();
    bool WorkerRunning() const { return m_active.load() != 0; }

    // Flags the verdicts set.
    int Success() const { return m_success.load(); }
    int WrongSyringe() const { return m_wrongSyringe.load(); }
    int ReplaceBlade() const { return m_replaceBlade.load(); }
    int RepeatRequested() const { return m_repeat.load(); }
    // The device's raw expiratory coefficient before the last calibration
    // and after it succeeded; 0 when not read.
    int FactorBefore() const { return m_factorBefore.load(); }
    int FactorAfter() const { return m_factorAfter.load(); }
    // The syringe volume the old coefficient measured: the device counted
    // `volume` litres' worth of pulses at the new one.
    static double MeasuredVolume(double volume, int before, int after);

  Q_SIGNALS:
    // From the worker thread, in order; the worker never waits for them.
    void verdict(int code);
    // The worker has closed the link and let go of it.
    void workerEnded();

  private:
    void work(int volumeCode);
    void connectAndWork(int volumeCode);
    // Closes the link and hands it back; the worker's last act on it.
    void letGo(DeviceProtocol* protocol);

    DeviceManager& m_manager;
    std::thread m_worker;
    std::atomic<int> m_active{0};
    std::atomic<bool> m_endRequested{false};
    std::atomic<int> m_success{0};
    std::atomic<int> m_wrongSyringe{0};
    std::atomic<int> m_replaceBlade{0};
    std::atomic<int> m_repeat{0}; // survives to the next start
    std::atomic<int> m_factorBefore{0};
    std::atomic<int> m_factorAfter{0};
};
