#include "core/device/checksum_frame_protocol.h"

#include "core/device/wire_format.h"
#include "core/device/btps.h"

#include <cstring>

using namespace Wire::Frame;

namespace {

// Data byte k of a frame with a high-bit byte, bit 7 restored.
int decoded(const unsigned char* frame, int k)
{
    return (frame[k + 2] & 0x7F) | (((frame[1] >> k) & 1) << 7);
}

} // namespace

int ChecksumFrameProtocol::FrameLength(int code)
{
    switch (code) {
    case 0x00:
        return 1;
    case 0x80:
    case 0x82:
    case 0x84:
    case 0x85:
    case 0x86:
    case 0x87:
    case 0x8B:
    case 0x8C:
    case 0x8D:
    case 0xAA:
    case 0xE3:
    case 0xF0:
    case 0xF7:
    case 0xFB:
    case 0xFC:
    case 0xFD:
    case 0xFE:
        return 2;
    case 0x8A:
    case 0xF5:
    case 0xF6:
    case 0xFA:
        return 3;
    case 0x8E:
        return 4;
    case 0x91:
        return 5;
    case 0xF4:
        return 7;
    case 0xF2:
        return 8;
    case 0xE1:
    case 0xE2:
        return 9;
    case 0xF1:
        return 10;
    default:
        return 0;
    }
}

bool ChecksumFrameProtocol::ValidFrame(const unsigned char* frame, int available)
{
    if (available < 1)
        return false;
    const int length = FrameLength(frame[0]);
    if (length < 1 || length > available)
        return false;
    return Wire::Checksum7(frame, length - 1) == frame[length - 1];
}

int ChecksumFrameProtocol::writeFrame(unsigned char code,
                                      std::initializer_list<unsigned char> params)
{
    unsigned char buffer[65] = {};
    buffer[0] = code;
    int i = 1;
    for (unsigned char p : params)
        buffer[i++] = p;
    const int length = FrameLength(code);
    if (length < 2)
        return 0;
    buffer[length - 1] = Wire::Checksum7(buffer, length - 1);
    return Write(buffer, length);
}

int ChecksumFrameProtocol::exchange(unsigned char code, std::initializer_list<unsigned char> params,
                                    unsigned char* reply)
{
    if (!writeFrame(code, params))
        return 0;
    std::memset(reply, 0, kBlockSize + 1);
    return Read(reply, kBlockSize);
}

int ChecksumFrameProtocol::PrepareResend()
{
    return 1;
}

int ChecksumFrameProtocol::SendCommand(int command, int expectedReply)
{
    unsigned char reply[kBlockSize + 1];
    if (!exchange(static_cast<unsigned char>(command), {}, reply))
        return 0;
    return reply[0] == expectedReply && ValidFrame(reply, kBlockSize) ? 1 : 0;
}

int ChecksumFrameProtocol::CheckConnection()
{
    return SendCommand(kConnect, kConnectReply);
}

int ChecksumFrameProtocol::StartTest()
{
    m_expectedSeq = 0;
    m_resync = 0;
    m_heldCode = -1;
    clearResend();
    return SendCommand(kStart, kStartReply);
}

int ChecksumFrameProtocol::StopTest(int waitForReply)
{
    if (waitForReply)
        return SendCommand(kStop, kStopReply);
    return writeFrame(kStop, {});
}

int ChecksumFrameProtocol::ReadCoefficients()
{
    m_commandError.clear();
    unsigned char reply[kBlockSize + 1];
    if (!exchange(kCoefficients, {}, reply) || reply[0] != kCoefficientsReply ||
        !ValidFrame(reply, kBlockSize))
        return commandFailed(QStringLiteral("coefficient reply"),
                             QStringLiteral("a 7-byte frame 0xF4 with its checksum"));
    const int exp = decoded(reply, 1) * 256 + decoded(reply, 0);
    const int insp = decoded(reply, 3) * 256 + decoded(reply, 2);
    const double factor = BtpsFactor(33);
    m_rawInspCoefficient = insp;
    m_rawExpCoefficient = exp;
    m_fixedCoefficients = false;
    m_expCoefficient = BtpsCorrect(exp, factor);
    m_inspCoefficient = BtpsCorrect(insp, factor);
    m_temperature = 33;
    return checkCoefficientRange();
}

int ChecksumFrameProtocol::ReadTemperature()
{
    unsigned char reply[kBlockSize + 1];
    if (!exchange(kTemperature, {}, reply))
        return 0;
    if (reply[0] == kTemperatureReply && ValidFrame(reply, kBlockSize)) {
        m_temperature = reply[1];
        // From the coefficient as received: correcting the 33 C value again
        // would apply the correction twice.
        m_inspCoefficient = BtpsCorrect(m_rawInspCoefficient, BtpsFactor(reply[1]));
    }
    return 1;
}

int ChecksumFrameProtocol::GetBatteryLevel()
{
    unsigned char reply[kBlockSize + 1];
    if (!exchange(kBattery, {}, reply))
        return 100;
    if (reply[0] != kBatteryReply || !ValidFrame(reply, kBlockSize))
        return 100;
    return reply[1];
}

int ChecksumFrameProtocol::GetVersion(int&, QString& text)
{
    unsigned char reply[kBlockSize + 1];
    if (!exchange(kVersion, {}, reply))
        return 0;
    if (reply[0] != kVersionReply || !ValidFrame(reply, kBlockSize))
        return 0;
    text = QString::asprintf("\nDevice Version:%d.%d.%d \n Soft Version:%d.%d.%d", reply[3],
                             reply[2], reply[1], reply[6], reply[5], reply[4]);
    return 1;
}

int ChecksumFrameProtocol::StartCalibration(int mode)
{
    return writeFrame(kStartCalibration, {static_cast<unsigned char>(mode)});
}

int ChecksumFrameProtocol::EndCalibration(int waitForReply)
{
    if (waitForReply)
        return SendCommand(kEndCalibration, kEndCalibrationReply);
    return writeFrame(kEndCalibration, {});
}

CalibrationStatus ChecksumFrameProtocol::GetCalibrationStatus(int tries)
{
    for (int i = 0; i < tries; ++i) {
        unsigned char block[kBlockSize + 1] = {};
        if (!Read(block, kBlockSize))
            continue;
        if (block[0] == kCalibrationStatus && ValidFrame(block, kBlockSize)) {
            switch (block[1]) {
            case 0:
                return 9;
            case 1:
                return 4;
            case 2:
                return 2;
            case 3:
                return 3;
            case 4:
                return 1;
            default:
                return 8;
            }
        }
        if (block[0] == kEndCalibrationReply)
            return -1;
    }
    return -1;
}

int ChecksumFrameProtocol::RequestResend(int sequence)
{
    PrepareResend();
    const unsigned char high =
        static_cast<unsigned char>(((sequence >> 7) & 1) | (((sequence >> 15) & 1) << 1));
    return writeFrame(kResend, {high, static_cast<unsigned char>(sequence & 0x7F),
                                static_cast<unsigned char>((sequence >> 8) & 0x7F)});
}

int ChecksumFrameProtocol::SetWaitParameters(int space, int times)
{
    unsigned char reply[kBlockSize + 1];
    if (!exchange(kWait, {static_cast<unsigned char>(space), static_cast<unsigned char>(times)},
                  reply))
        return 0;
    return reply[0] == kWaitReply && ValidFrame(reply, kBlockSize) ? 1 : 0;
}

void ChecksumFrameProtocol::parsePair(unsigned char code, unsigned char second, int& resend)
{
    unsigned char pair[2] = {code, second};
    const int result = ParseFrame(pair, 2);
    if (result > 0 && !resend)
        resend = result;
}

int ChecksumFrameProtocol::ParseStream(const unsigned char* buffer, int count)
{
    // The first missing pulse; the rest of the block is still read, so that
    // a test end behind the gap is not lost with it.
    int resend = 0;
    int i = 0;
    if (m_heldCode >= 0 && count > 0) {
        // A two-byte frame cut by the last read's end: its second byte is here.
        const unsigned char code = static_cast<unsigned char>(m_heldCode);
        m_heldCode = -1;
        parsePair(code, buffer[0], resend);
        i = 1;
    }
    for (; i < count; ++i) {
        const unsigned char b = buffer[i];
        const int length = FrameLength(b);
        if (length == 2) {
            m_position = 0;
            m_expected = 2;
            if (i + 1 == count) {
                m_heldCode = b; // the second byte comes with the next read
                break;
            }
            parsePair(b, buffer[i + 1], resend);
            ++i;
        } else if (length > 2) {
            std::memset(m_frame, 0, sizeof(m_frame));
            m_frame[0] = b;
            m_position = 0;
            m_expected = length;
        } else {
            if (m_position < m_expected)
                ++m_position;
            if (m_expected > 1 && m_position <= m_expected - 1)
                m_frame[m_position] = b;
            if (m_expected > 1 && m_position == m_expected - 1) {
                const int result = ParseFrame(m_frame, m_expected);
                if (result > 0 && !resend)
                    resend = result;
            }
        }
    }
    return resend;
}

void ChecksumFrameProtocol::clearResend()
{
    m_resendPending = 0;
    m_refusedPulses = 0;
    m_heldPhaseEnd = -1;
    m_heldTestEnd = 0;
}

int ChecksumFrameProtocol::stillMissing()
{
    m_refusedPulses = 0;
    const int pulse = static_cast<int>(m_expectedSeq + 1);
    if (waitForMissing(pulse))
        return pulse;
    giveUp();
    return 0;
}

void ChecksumFrameProtocol::giveUp()
{
    // The stream cannot be made whole: the manoeuvre keeps what came and is
    // marked, and the numbering restarts from the next pulse that arrives.
    sink().DataLost(0);
    const int held = m_heldPhaseEnd;
    const int testEnd = m_heldTestEnd;
    clearResend();
    m_resync = 1;
    if (held >= 0)
        sink().PhaseEnd(held == 1, nullptr);
    if (testEnd)
        sink().TestEnd();
}

int ChecksumFrameProtocol::LinkIdle()
{
    return m_resendPending ? stillMissing() : 0;
}

int ChecksumFrameProtocol::ParseFrame(unsigned char* frame, int length)
{
    if (length < 1 || length != FrameLength(frame[0]) ||
        Wire::Checksum7(frame, length - 1) != frame[length - 1])
        return -1;
    switch (frame[0]) {
    case kPulse: {
        const int seq = decoded(frame, 1) * 256 + decoded(frame, 0);
        const std::uint32_t raw = static_cast<std::uint32_t>(decoded(frame, 2)) |
                                  static_cast<std::uint32_t>(decoded(frame, 3)) << 8 |
                                  static_cast<std::uint32_t>(decoded(frame, 4)) << 16 |
                                  static_cast<std::uint32_t>(decoded(frame, 5)) << 24;
        const bool expiration = (frame[1] & kInspirationBit) == 0;
        if (m_resync && seq > 0) {
            // After pulses were given up: this one starts the numbering again.
            if (static_cast<std::uint32_t>(seq) > m_expectedSeq + 1)
                sink().DataLost(static_cast<int>(seq - m_expectedSeq - 1));
            m_expectedSeq = static_cast<std::uint32_t>(seq) - 1;
            m_resync = 0;
        }
        ++m_expectedSeq;
        if (seq == 0)
            m_resendPending = 0;
        if (static_cast<std::uint32_t>(seq) == m_expectedSeq) {
            // A held phase or test end is dropped: the device repeats it after
            // the pulses it sends again.
            clearResend();
            sink().Pulse(raw - Wire::kTimeOffset, expiration);
            return 0;
        }
        --m_expectedSeq;
        if (!m_resendPending) {
            m_resendPending = 1;
            return stillMissing();
        }
        // The device goes on without sending the missing pulse: the receiver
        // hears of it again now and then.
        if (++m_refusedPulses >= kPulsesPerRequest)
            return stillMissing();
        return 0;
    }
    case kPhaseEnd: {
        const bool expiration = (frame[1] & kInspirationBit) == 0;
        // The number of the phase's last pulse (0 from devices that do not
        // send it).
        const std::uint32_t last = static_cast<std::uint32_t>(decoded(frame, 1) * 256 +
                                                              decoded(frame, 0));
        if (m_resendPending) {
            m_heldPhaseEnd = expiration ? 1 : 0;
            return 0;
        }
        if (last != 0 && last > m_expectedSeq) {
            // The phase's last pulses are missing: it ends once they are here.
            m_heldPhaseEnd = expiration ? 1 : 0;
            m_resendPending = 1;
            return stillMissing();
        }
        if (last != 0 && last < m_expectedSeq)
            return 0; // a repeat of a phase end already acted on
        sink().PhaseEnd(expiration, nullptr);
        return 0;
    }
    case kTestEnd:
        if (m_resendPending) {
            // Acted on once the missing pulses are here, or given up.
            m_heldTestEnd = 1;
            return 0;
        }
        sink().TestEnd();
        return 0;
    case kStopReply:
        // A test end held for missing pulses ends the test once they are here.
        if (!m_heldTestEnd)
            sink().DeviceStopped();
        return 0;
    case kWaitMark:
        sink().WaitMark();
        return 0;
    case kTemperatureReply:
        m_temperature = frame[1];
        sink().Temperature(frame[1]);
        return 0;
    default:
        return 0;
    }
}
