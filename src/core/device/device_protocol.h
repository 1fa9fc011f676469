#pragma once
// What the program says to the spirometer, whichever wire protocol it speaks.
// A protocol object owns no port: it talks through the port the device
// manager gives it. While a test streams it decodes bytes into events for the
// sink it is given and computes nothing from them. The de-framer state
// belongs to the object, one per connection.
#include "core/device/measurement_sink.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

class DevicePort;

// Values GetCalibrationStatus returns: -1 nothing came, 1 success, 2 wrong
// syringe, 3 replace the blade, 4 repeat, 8 failure or unknown, 9 keep
// waiting, 10 the device closed the calibration.
using CalibrationStatus = int;

class DeviceProtocol {
  public:
    DeviceProtocol();
    virtual ~DeviceProtocol() = default;

    virtual int PrepareResend() = 0;
    virtual int CheckConnection() = 0;
    virtual int SendCommand(int command, int expectedReply) = 0;
    virtual int StartTest() = 0;
    virtual int StopTest(int waitForReply) = 0;
    virtual int Read(unsigned char* buffer, int count);
    // The bytes that came, for the receive worker: their number, 0 for none.
    int ReadSome(unsigned char* buffer, int count);
    virtual int Write(const unsigned char* buffer, int count);
    virtual int ReadCoefficients() = 0;
    // De-frames a block of received bytes into the sink's events; returns the
    // first pulse found missing in it, 0 for none. Whether it is asked for
    // again is the missing-pulse rule's to decide, when the test is over the
    // sink's (it hears the device's test end and stop).
    virtual int ParseStream(const unsigned char* buffer, int count) = 0;
    virtual int ParseFrame(unsigned char* frame, int length) = 0;
    virtual int GetVersion(int& frameLength, QString& text) = 0;
    virtual int StartCalibration(int mode) = 0;
    virtual int EndCalibration(int waitForReply) = 0;
    virtual int FrameLength(int code) = 0;
    virtual CalibrationStatus GetCalibrationStatus(int tries) = 0;
    virtual int GetBatteryLevel() = 0;
    virtual int RequestResend(int sequence) = 0;
    virtual int ReadTemperature() = 0;
    virtual int SetWaitParameters(int space, int times);
    // The receiver calls this when the link has been quiet for a while during
    // a test: the pulse still missing (put to the missing-pulse rule again),
    // 0 for none.
    virtual int LinkIdle() { return 0; }
    // The receiver's rule for a missing pulse, called each time the stream
    // shows it still missing: true when it was asked for again, false to give
    // it up (the sink hears of the loss, the events held back for it are
    // handed on and the numbering restarts). Without a rule it is waited for.
    using MissingPulseRule = std::function<bool(int pulse)>;
    void SetMissingPulseRule(MissingPulseRule rule) { m_missingPulseRule = std::move(rule); }
    // Whether the wire marks the end of each manoeuvre; without a mark a
    // manoeuvre ends with its inspiration.
    virtual bool MarksManeuverEnds() const { return true; }

    // Wiring, done by the device manager (and by tests and tools).
    void SetPort(DevicePort* port) { m_port = port; }
    DevicePort* Port() const { return m_port; }
    // Where decoded events go (nothing happens to them without a sink).
    void SetSink(MeasurementSink* sink);

    // Sensor coefficients after BTPS correction and the temperature they were
    // corrected for.
    int ExpCoefficient() const { return m_expCoefficient; }
    int InspCoefficient() const { return m_inspCoefficient; }
    int Temperature() const { return m_temperature; }
    // The coefficients as the device reported them, before BTPS correction.
    int RawExpCoefficient() const { return m_rawExpCoefficient.load(); }
    int RawInspCoefficient() const { return m_rawInspCoefficient.load(); }
    // Sets corrected coefficients directly (replaying a stored stream): they
    // stay as given, temperature reports in the stream only record the
    // temperature.
    void SetCoefficients(int expCoefficient, int inspCoefficient, int temperature);
    // Why the last start command (coefficients) failed, in the user's words;
    // empty when it did not fail or the port simply gave nothing.
    QString CommandError() const { return m_commandError; }
    // The raw sensor coefficients a working sensor reports: a blade whose
    // pulse volume is a third off its nominal 145 is no longer measuring.
    static constexpr int kMinCoefficient = 100;
    static constexpr int kMaxCoefficient = 200;

    // The identifier text the device reported (at most 31 characters).
    QByteArray DeviceId() const;
    const unsigned char* DecodedData() const { return m_decoded; }

  protected:
    MeasurementSink& sink() const { return *m_sink; }
    // Puts a missing pulse to the receiver's rule: true to wait for it.
    bool waitForMissing(int pulse) const { return !m_missingPulseRule || m_missingPulseRule(pulse); }
    // Records which reply (`what`) failed and what was expected; returns 0.
    int commandFailed(const QString& what, const QString& expected);
    // 1 when both raw coefficients lie in the sensor's range, else 0 with the error.
    int checkCoefficientRange();

    DevicePort* m_port = nullptr;
    MeasurementSink* m_sink;
    MissingPulseRule m_missingPulseRule;

    // Written by the start sequence and, for temperature reports, by the
    // receive worker.
    std::atomic<int> m_expCoefficient{145};
    std::atomic<int> m_inspCoefficient{145};
    std::atomic<int> m_rawInspCoefficient{145}; // as received, before correction
    std::atomic<int> m_rawExpCoefficient{145};
    QString m_commandError;
    std::atomic<int> m_temperature{33};
    bool m_fixedCoefficients = false;
    unsigned char m_decoded[10] = {};
    char m_deviceId[32] = {};
};
