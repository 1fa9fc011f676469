#pragma once
// The protocol of devices on USB HID and Bluetooth: every message is a frame
// that starts with a code byte (bit 7 set) and ends with a 7-bit additive
// checksum. During a test the device streams numbered pulses; the program
// computes every parameter itself with the flow engine.
#include "core/device/device_protocol.h"

class ChecksumFrameProtocol : public DeviceProtocol {
  public:
    static constexpr int kBlockSize = 64;

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
    int LinkIdle() override;
    bool MarksManeuverEnds() const override { return false; }

    // While the device streams on without a missing pulse, it is put to the
    // receiver's rule again every this many pulses.
    static constexpr int kPulsesPerRequest = 32;

    // True when `frame` (at most `available` bytes) starts with a complete
    // frame of its code's length whose checksum matches.
    bool ValidFrame(const unsigned char* frame, int available);
    int ExpectedSequence() const { return static_cast<int>(m_expectedSeq); }

  private:
    // Builds the command frame in a zeroed buffer and writes it.
    int writeFrame(unsigned char code, std::initializer_list<unsigned char> params);
    // Writes a command frame and reads the block that holds the reply.
    int exchange(unsigned char code, std::initializer_list<unsigned char> params,
                 unsigned char* reply);

    void clearResend();
    // Puts the missing pulse to the receiver's rule: its number while it is
    // waited for, 0 once it is given up.
    int stillMissing();
    void giveUp();
    // Decodes the two-byte frame `code`, `second`; a missing pulse goes into `resend`.
    void parsePair(unsigned char code, unsigned char second, int& resend);

    std::uint32_t m_expectedSeq = 0; // number of the last pulse taken
    int m_resendPending = 0;
    int m_refusedPulses = 0;  // later pulses that came since the last report
    int m_heldPhaseEnd = -1;  // 1 expiration, 0 inspiration: ends once whole
    int m_heldTestEnd = 0;
    int m_resync = 0; // the next pulse restarts the numbering
    // De-framer state carried from one block to the next.
    unsigned char m_frame[65] = {};
    int m_position = 0;
    int m_expected = 0;
    int m_heldCode = -1; // code of a two-byte frame whose second byte is still to come
};
