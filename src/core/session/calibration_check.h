#pragma once
// A syringe check of the flow sensor, run as a test: the device streams its
// pulses through the same assembler and flow engine as a blow, and each
// expiratory stroke is judged by a SyringeCheck (its band, its error).
// Strokes are judged as their manoeuvres close; the check ends with the
// device's test.
#include "core/measure/syringe_check.h"
#include "core/session/live_test_session.h"

#include <QObject>
#include <QString>

struct MeasurementParts;

class CalibrationCheck : public QObject {
    Q_OBJECT
  public:
    CalibrationCheck(MeasurementParts& parts, double syringeVolume, std::vector<FlowBand> bands,
                     QObject* parent = nullptr);
    ~CalibrationCheck() override;

    // The command line and tests: starts the device, waits for its test to
    // end and judges every stroke. kStarted when the check ran.
    LiveTestSession::StartResult Run();
    // The interface thread: starts on the worker and returns at once;
    // progress by asked(), the end by ended().
    bool StartInBackground();
    // Judges the strokes that closed since the last call (the dialog's timer).
    void Follow();
    void Stop();
    bool Running() const { return !m_ended; }

    const SyringeCheck& Check() const { return m_check; }
    // The device's identifier, "virtual" for the virtual spirometer.
    QString DeviceName() const { return m_device; }
    // What to push next, or why the last stroke was refused and what to push again.
    QString Prompt() const { return m_prompt; }
    LiveTestSession& Session() { return m_session; }

  Q_SIGNALS:
    void asked(const QString& prompt);
    // The device's test is over and every stroke has been judged.
    void ended();

  private:
    void started();
    void finish();
    void ask(const QString& refusal = QString());

    MeasurementParts& m_parts;
    LiveTestSession m_session;
    SyringeCheck m_check;
    int m_offered = 0; // strokes judged so far
    bool m_ended = true;      // no device test under way
    bool m_following = false; // the device's test has started: the store is this check's
    bool m_nameDevice = false; // started: the device's name is read once its worker has ended
    QString m_device;
    QString m_prompt;
};
