#include "core/device/checksum_device_side.h"

namespace {

const unsigned char kReportSize = 64;

Wire::Bytes pulseData(int seq, std::uint32_t stamp)
{
    const std::uint32_t raw = stamp + Wire::kTimeOffset;
    return {static_cast<unsigned char>(seq),       static_cast<unsigned char>(seq >> 8),
            static_cast<unsigned char>(raw),       static_cast<unsigned char>(raw >> 8),
            static_cast<unsigned char>(raw >> 16), static_cast<unsigned char>(raw >> 24)};
}

} // namespace

ChecksumDeviceSide::ChecksumDeviceSide(const SimConfig& config)
    : VirtualSpirometer(config, kReportSize)
{
}

int ChecksumDeviceSide::CommandLength(unsigned char code)
{
    using namespace Wire::Frame;
    switch (code) {
    case kVersion:
    case kCoefficients:
    case kTemperature:
    case kBattery:
    case kConnect:
    case kEndCalibration:
    case kStart:
    case kStop:
        return 2;
    case kStartCalibration:
        return 3;
    case kWait:
        return 4;
    case kResend:
        return 5;
    default:
        return 0;
    }
}

void ChecksumDeviceSide::hostByte(unsigned char b)
{
    if (b & 0x80) { // a code byte always starts a new command
        m_command.assign(1, b);
        m_expected = CommandLength(b);
        if (m_expected == 0)
            m_command.clear();
        return;
    }
    if (m_command.empty())
        return; // padding or noise between commands
    m_command.push_back(b);
    if (static_cast<int>(m_command.size()) < m_expected)
        return;
    const Wire::Bytes frame = m_command;
    m_command.clear();
    if (Wire::Checksum7(frame.data(), m_expected - 1) == frame.back())
        command(frame);
}

void ChecksumDeviceSide::command(const Wire::Bytes& frame)
{
    using namespace Wire::Frame;
    const unsigned char code = frame[0];
    if (ignores(code))
        return;
    switch (code) {
    case kConnect:
        reply(Wire::ChecksumFrame(kConnectReply, {}));
        break;
    case kStart:
        reply(Wire::ChecksumFrame(kStartReply, {}));
        startStream();
        break;
    case kStop:
        stopStream();
        reply(Wire::ChecksumFrame(kStopReply, {}));
        break;
    case kCoefficients: {
        const int e = ReportedExpCoefficient(), i = ReportedInspCoefficient();
        reply(Wire::ChecksumFrameWithHighBits(
            kCoefficientsReply,
            {static_cast<unsigned char>(e), static_cast<unsigned char>(e >> 8),
             static_cast<unsigned char>(i), static_cast<unsigned char>(i >> 8)},
            0));
        break;
    }
    case kTemperature:
        reply(Wire::ChecksumFrame(kTemperatureReply,
                                  {static_cast<unsigned char>(m_config.temperature)}));
        break;
    case kBattery:
        reply(Wire::ChecksumFrame(kBatteryReply, {static_cast<unsigned char>(m_config.battery)}));
        break;
    case kVersion: {
        // Device version major.minor.0 and software version 3.1.1, stored last digit first.
        const auto major = static_cast<unsigned char>(m_config.firmware / 10);
        const auto minor = static_cast<unsigned char>(m_config.firmware % 10);
        reply(Wire::ChecksumFrame(kVersionReply, {0, minor, major, 1, 1, 3}));
        break;
    }
    case kStartCalibration:
        startCalibration(frame[1]);
        break;
    case kEndCalibration:
        stopCalibration();
        reply(Wire::ChecksumFrame(kEndCalibrationReply, {}));
        break;
    case kWait:
        m_waitSpace = frame[1];
        m_waitTimes = frame[2];
        reply(Wire::ChecksumFrame(kWaitReply, {}));
        break;
    case kResend: {
        const int low = frame[2] | ((frame[1] & 1) << 7);
        const int high = frame[3] | ((frame[1] & 2) << 6);
        rewindToPulse(high << 8 | low);
        break;
    }
    default:
        break;
    }
}

Wire::Bytes ChecksumDeviceSide::calibrationStatus(int status) const
{
    using namespace Wire::Frame;
    int code;
    switch (status) {
    case 9:
        code = 0;
        break;
    case 4:
        code = 1;
        break;
    case 2:
        code = 2;
        break;
    case 3:
        code = 3;
        break;
    case 1:
        code = 4;
        break;
    case -1:
        return Wire::ChecksumFrame(kEndCalibrationReply, {});
    default:
        code = status == 10 ? 127 : status;
        break;
    }
    return Wire::ChecksumFrame(kCalibrationStatus, {static_cast<unsigned char>(code)});
}

std::vector<VirtualSpirometer::StreamItem> ChecksumDeviceSide::buildStream()
{
    using namespace Wire::Frame;
    std::vector<StreamItem> items;
    items.push_back(
        {0,
         Wire::ChecksumFrame(kTemperatureReply, {static_cast<unsigned char>(m_config.temperature)}),
         0});
    int seq = 0;
    for (const Phase& phase : phases()) {
        const unsigned char direction = phase.expiration ? 0 : kInspirationBit;
        for (std::uint32_t t : phase.pulses) {
            ++seq;
            items.push_back(
                {t, Wire::ChecksumFrameWithHighBits(kPulse, pulseData(seq, t), direction), seq});
            items.back().blowStart = phase.expiration && t == phase.pulses.front();
        }
        const auto end = static_cast<std::uint32_t>(phase.end * 1e5);
        // The phase end names the phase's last pulse, so that a lost one is
        // noticed before the phase is closed.
        items.push_back({end,
                         Wire::ChecksumFrameWithHighBits(kPhaseEnd,
                                                         {static_cast<unsigned char>(seq),
                                                          static_cast<unsigned char>(seq >> 8), 0,
                                                          0, 0, 0},
                                                         direction),
                         0, true});
        // With wait parameters set the device marks the pause after each breath.
        if (!phase.expiration && m_waitSpace > 0)
            items.push_back({end, Wire::ChecksumFrame(kWaitMark, {}), 0});
    }
    const std::uint32_t last = items.back().time;
    items.push_back({last, Wire::ChecksumFrame(kTestEnd, {}), 0});
    return items;
}
