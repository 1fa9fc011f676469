#pragma once
// What the program says to the spirometer, whichever wire protocol it speaks.
// A protocol object owns no port: it talks through the port the device
// manager gives it, and fills the measurement store, the flow engine and the
// live point list it is attached to (the process-wide ones unless a test
// attaches its own). The de-framer state belongs to the object, one per
// connection.
#include "core/measure/test_record.h"

#include <QByteArray>
#include <QString>

#include <atomic>

class CurvePointList;
class DevicePort;
class FlowEngine;
class MeasurementStore;

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
    virtual int Write(const unsigned char* buffer, int count);
    virtual int ReadCoefficients() = 0;
    // De-frames a block of received bytes: -1 the test is over, -2 the device
    // stopped, a positive number a pulse to ask for again, 0 nothing to do.
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

    // Wiring, done by the device manager (and by tests and tools).
    void SetPort(DevicePort* port) { m_port = port; }
    DevicePort* Port() const { return m_port; }
    void Attach(MeasurementStore* store, FlowEngine* engine, CurvePointList* points);
    // The TestType of the running test (the parsers check stable tidal
    // breathing during VC tests).
    void SetTestType(int type) { m_testType = type; }

    // Sensor coefficients after BTPS correction and the temperature they were
    // corrected for.
    int ExpCoefficient() const { return m_expCoefficient; }
    int InspCoefficient() const { return m_inspCoefficient; }
    int Temperature() const { return m_temperature; }
    // Sets corrected coefficients directly (replaying a stored stream): they
    // stay as given, temperature reports in the stream only record the
    // temperature.
    void SetCoefficients(int expCoefficient, int inspCoefficient, int temperature);
    // The identifier text the device reported (at most 31 characters).
    QByteArray DeviceId() const;
    const unsigned char* DecodedData() const { return m_decoded; }
    const ManeuverResult& RecordUnderConstruction() const { return m_record; }

  protected:
    MeasurementStore& store() const { return *m_store; }
    FlowEngine& engine() const { return *m_engine; }
    CurvePointList& points() const { return *m_points; }

    DevicePort* m_port = nullptr;
    MeasurementStore* m_store;
    FlowEngine* m_engine;
    CurvePointList* m_points;
    std::atomic<int> m_testType{kTestFvc};

    // Written by the start sequence and, for temperature reports, by the
    // receive worker.
    std::atomic<int> m_expCoefficient{145};
    std::atomic<int> m_inspCoefficient{145};
    std::atomic<int> m_rawInspCoefficient{145}; // as received, before correction
    std::atomic<int> m_temperature{33};
    bool m_fixedCoefficients = false;
    unsigned char m_decoded[10] = {};
    ManeuverResult m_record;
    char m_deviceId[32] = {};
    // Sample counts of the current manoeuvre.
    int m_expCount = 0;
    int m_inspCount = 0;
};
