#include "core/device/ascii_command_protocol.h"

#include "core/device/wire_format.h"
#include "core/device/btps.h"

#include <chrono>
#include <cstring>
#include <thread>

using namespace Wire::Ascii;

int AsciiCommandProtocol::writeByte(unsigned char b)
{
    return Write(&b, 1);
}

int AsciiCommandProtocol::readByte(unsigned char& b)
{
    b = 0;
    return Read(&b, 1);
}

// The serial port purges its queues before every write; nothing more to do here.
int AsciiCommandProtocol::PrepareResend()
{
    return 1;
}

int AsciiCommandProtocol::CheckConnection()
{
    return SendCommand(kConnect, kConnectReply);
}

int AsciiCommandProtocol::SendCommand(int command, int expectedReply)
{
    if (!writeByte(static_cast<unsigned char>(command)))
        return 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        unsigned char b;
        if (readByte(b) && b == expectedReply)
            return 1;
    }
    return 0;
}

int AsciiCommandProtocol::StartTest()
{
    unsigned char b;
    return writeByte(kStart) && readByte(b) && b == kStartReply ? 1 : 0;
}

int AsciiCommandProtocol::StopTest(int waitForReply)
{
    if (!waitForReply)
        return writeByte(kStop);
    unsigned char b;
    return writeByte(kStop) && readByte(b) && b == kStopReply ? 1 : 0;
}

int AsciiCommandProtocol::GetVersion(int& frameLength, QString& text)
{
    if (!writeByte(kVersion))
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    unsigned char b;
    if (!readByte(b) || b != kVersionReply)
        return 0;
    unsigned char frame[4] = {};
    if (!Read(frame, 4) || frame[0] != kVersionFrame || !syncBitsSet(frame, 4))
        return 1; // a device without a version frame: its coefficient frame's length is unknown
    ParseFrame(frame, 4); // gives the frame back with bit 7 restored
    const int d0 = frame[2], d1 = frame[3];
    const double version = (d0 & 0x0F) * 0.1 + (d0 >> 4);
    text = QString::asprintf("%.1f %c", version, d1);
    // Version 1.0 sends one coefficient (3-byte frame); 1.1 and later two.
    frameLength = version < 1.1 - 1e-9 ? 3 : 4;
    return 1;
}

int AsciiCommandProtocol::ReadCoefficients()
{
    m_commandError.clear();
    int frameLength = 0;
    QString text;
    // The version says how long the coefficient frame is: without it the
    // frame cannot be read whole.
    if (!GetVersion(frameLength, text) || frameLength == 0)
        return commandFailed(QStringLiteral("version reply"), QStringLiteral("'z' and a 4-byte frame"));
    if (!writeByte(kCoefficients))
        return commandFailed(QStringLiteral("coefficient command"), QStringLiteral("written"));
    unsigned char b;
    if (!readByte(b) || b != kCoefficientsReply)
        return commandFailed(QStringLiteral("coefficient reply"), QStringLiteral("'p'"));
    unsigned char frame[10] = {};
    // Exactly the frame: a short or damaged one never counts as coefficients.
    if (!Read(frame, frameLength) || frame[0] != kCoefficientFrame ||
        !syncBitsSet(frame, frameLength))
        return commandFailed(QStringLiteral("coefficient frame"),
                             QStringLiteral("%1 bytes starting with 1").arg(frameLength));
    ParseFrame(frame, frameLength);
    return checkCoefficientRange();
}

bool AsciiCommandProtocol::syncBitsSet(const unsigned char* frame, int length)
{
    for (int i = 1; i < length; ++i)
        if (!(frame[i] & 0x80))
            return false; // every byte after the code carries the sync bit
    return true;
}

int AsciiCommandProtocol::StartCalibration(int mode)
{
    return mode == 3 ? SendCommand(kCalibrate3L, kCalibrate3LReply)
                     : SendCommand(kCalibrate2L, kCalibrate2LReply);
}

int AsciiCommandProtocol::EndCalibration(int)
{
    return SendCommand(kEndCalibration, kEndCalibrationReply);
}

int AsciiCommandProtocol::FrameLength(int code)
{
    switch (code) {
    case 1:
    case 12:
        return 4;
    case 2:
    case 9:
        return 6;
    case 3:
    case 10:
        return 8;
    case 4:
    case 16:
    case 18:
        return 1;
    case 11:
        return 3;
    case 72:
    case 73:
        return 9;
    case 0x80:
        return -1;
    default:
        return 0;
    }
}

CalibrationStatus AsciiCommandProtocol::GetCalibrationStatus(int tries)
{
    for (int i = 0; i < tries; ++i) {
        unsigned char b;
        if (!readByte(b))
            continue;
        switch (b) {
        case kCalRepeat:
            return 4;
        case kCalWrongSyringe:
            return 2;
        case kCalReplaceBlade:
            return 3;
        case kCalSuccess:
            return 1;
        case kCalWait:
            return 9;
        case kCalClosed:
            return 10;
        default:
            return 8;
        }
    }
    return -1;
}

int AsciiCommandProtocol::GetBatteryLevel()
{
    return 100;
}

int AsciiCommandProtocol::RequestResend(int)
{
    return 1;
}

int AsciiCommandProtocol::ReadTemperature()
{
    return 1;
}

int AsciiCommandProtocol::SetWaitParameters(int, int)
{
    return 1;
}

void AsciiCommandProtocol::dropOpenFrame()
{
    // A frame cut short by a byte that cannot belong to it is not decoded;
    // a lost pulse leaves its manoeuvre incomplete.
    const bool open = m_expected > 1 && m_position < m_expected - 1;
    if (open && (m_frame[0] == kExpPulse || m_frame[0] == kInspPulse))
        sink().DataLost(1);
    m_expected = 0;
    m_position = 0;
}

int AsciiCommandProtocol::ParseStream(const unsigned char* buffer, int count)
{
    for (int i = 0; i < count; ++i) {
        unsigned char b = buffer[i];
        const int length = FrameLength(b);
        if (length == 1) {
            dropOpenFrame();
            m_position = 0;
            m_expected = 1;
            ParseFrame(&b, 1);
        } else if (length > 1) {
            dropOpenFrame();
            std::memset(m_frame, 0, sizeof(m_frame));
            m_frame[0] = b;
            m_position = 0;
            m_expected = length;
        } else {
            if ((b & 0x80) == 0) {
                // Every byte after the code carries the sync bit: without it
                // the frame was damaged on the way.
                dropOpenFrame();
                continue;
            }
            if (m_position < m_expected)
                ++m_position; // stops counting past the frame; nothing more is stored
            if (m_expected > 1 && m_position <= m_expected - 1)
                m_frame[m_position] = b;
            // A coefficient frame only ever answers the coefficient command:
            // one that turns up in the stream is damage and must not rescale
            // the test.
            if (m_expected > 1 && m_position == m_expected - 1 && m_frame[0] != kCoefficientFrame)
                ParseFrame(m_frame, m_expected);
        }
    }
    return 0;
}

int AsciiCommandProtocol::ParseFrame(unsigned char* frame, int length)
{
    if (length < 1 || frame[0] >= 0x80)
        return -1;
    const int used = length < 10 ? length : 10;
    m_code = frame[0];
    m_length = static_cast<unsigned char>(length);
    m_highBits = used > 1 ? frame[1] : 0;
    std::memset(m_decoded, 0, sizeof(m_decoded));
    m_decoded[0] = m_code;
    m_decoded[1] = m_highBits;
    for (int i = 2; i < used; ++i)
        m_decoded[i] =
            static_cast<unsigned char>((frame[i] & 0x7F) | (((m_highBits >> (i - 2)) & 1) << 7));

    switch (m_code) {
    case kCoefficientFrame: {
        m_sampleCounter = 0;
        // A coefficient of 0 is the device's way of saying "not calibrated":
        // the nominal sensor's 145.
        int exp = data(0);
        int insp = length >= 4 ? data(1) : data(0);
        if (exp == 0)
            exp = 145;
        if (insp == 0)
            insp = 145;
        m_temperature = 33;
        m_fixedCoefficients = false;
        m_rawInspCoefficient = insp;
        const double factor = BtpsFactor(33);
        m_expCoefficient = BtpsCorrect(exp, factor);
        m_inspCoefficient = BtpsCorrect(insp, factor);
        m_rawExpCoefficient = exp;
        break;
    }
    case kExpPulse:
    case kInspPulse: {
        const std::uint32_t raw =
            static_cast<std::uint32_t>(data16(0)) | static_cast<std::uint32_t>(data16(2)) << 16;
        sink().Pulse(raw - Wire::kTimeOffset, m_code == kExpPulse);
        ++m_sampleCounter;
        break;
    }
    case kExpEnd:
    case kInspEnd: {
        const bool expiration = m_code == kExpEnd;
        m_sampleCounter = 0;
        // The sums count in units of the host's pulse volume over coefficient
        // x 0.0001: turned into pulses they need no coefficient.
        const double unit = expiration ? kExpSumUnit : kInspSumUnit;
        const int r1 = data16(0), r2 = data16(2), r3 = data16(4);
        DevicePhaseSums sums;
        sums.firstSecondPulses = r1 / unit;
        // Peak flow = coefficient x 10 / R2 (L/s): R2 = 0 sends no peak.
        sums.peakRate = r2 > 0 ? 100000.0 / (r2 * unit) : 0.0;
        sums.volumePulses = r3 / unit;
        sink().PhaseEnd(expiration, &sums);
        break;
    }
    case kCycleEnd:
        m_sampleCounter = 0;
        sink().ManeuverEnd();
        break;
    case kTestEnd:
        m_sampleCounter = 0;
        sink().TestEnd();
        break;
    case kTemperature:
        if (data(0) != m_temperature) {
            m_temperature = data(0);
            if (!m_fixedCoefficients)
                m_inspCoefficient = BtpsCorrect(m_rawInspCoefficient, BtpsFactor(data(0)));
        }
        sink().Temperature(data(0));
        break;
    case kVersionFrame:
        std::memcpy(frame, m_decoded, used < 4 ? used : 4);
        break;
    case kDeviceId: {
        const int piece = data(0);
        if (piece >= 1 && piece <= 5)
            for (int i = 0; i < 6; ++i)
                m_deviceId[6 * (piece - 1) + i] = static_cast<char>(data(1 + i));
        break;
    }
    default:
        break;
    }
    return m_code;
}
