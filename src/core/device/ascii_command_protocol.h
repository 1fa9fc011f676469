#pragma once
// The protocol of devices on a serial (or USB virtual serial) port: single
// ASCII commands, single-letter replies, and frames whose data bytes carry a
// sync bit. The device computes its manoeuvre results itself.
#include "core/device/device_protocol.h"

class AsciiCommandProtocol : public DeviceProtocol {
  public:
    int PrepareResend() override;
    int CheckConnection() override;
    int SendCommand(int command, int expectedReply) override;
    int StartTest() override;
    int StopTest(int waitForReply) override;
    int ReadCoefficients() override;
    int ParseStream(const unsigned char* buffer, int count) override;
    int ParseFrame(unsigned char* frame, int length) override;
    int GetVersion(int& frameLength, QString& text) override;
    int StartCalibration(int mode) override;
    int EndCalibration(int waitForReply) override;
    int FrameLength(int code) override;
    CalibrationStatus GetCalibrationStatus(int tries) override;
    int GetBatteryLevel() override;
    int RequestResend(int sequence) override;
    int ReadTemperature() override;
    int SetWaitParameters(int space, int times) override;

    // Code, length and high-bit byte of the last frame.
    int LastCode() const { return m_code; }
    int LastLength() const { return m_length; }
    int LastHighBits() const { return m_highBits; }
    int RawInspCoefficient() const { return m_rawInspCoefficient; }

  private:
    static bool syncBitsSet(const unsigned char* frame, int length);
    void dropOpenFrame();
    int writeByte(unsigned char b);
    int readByte(unsigned char& b);
    // Data byte k (from 0) of the last decoded frame.
    int data(int k) const { return m_decoded[2 + k]; }
    int data16(int k) const { return data(k) | data(k + 1) << 8; }

    unsigned char m_code = 0;
    unsigned char m_length = 0;
    unsigned char m_highBits = 0;
    int m_sampleCounter = 0;
    // De-framer state carried from one block to the next.
    unsigned char m_frame[10] = {};
    int m_position = 0;
    int m_expected = 0;
};
