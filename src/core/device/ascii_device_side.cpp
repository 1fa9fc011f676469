#include "core/device/ascii_device_side.h"

#include <algorithm>
#include <cmath>

namespace {

const char kIdentifier[] = "TAV-SIM-ASCII-0001";

Wire::Bytes le32(std::uint32_t v)
{
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
}

int clamp16(double v)
{
    return static_cast<int>(std::clamp(std::lround(v), 0L, 65535L));
}

} // namespace

AsciiDeviceSide::AsciiDeviceSide(const SimConfig& config) : VirtualSpirometer(config, 0) {}

void AsciiDeviceSide::PhaseSums(const std::vector<std::uint32_t>& stamps, double start,
                                bool expiration, int sums[3])
{
    const double unit = expiration ? Wire::Ascii::kExpSumUnit : Wire::Ascii::kInspSumUnit;
    sums[0] = sums[1] = sums[2] = 0;
    const int n = static_cast<int>(stamps.size());
    if (n == 0)
        return;
    sums[2] = clamp16(n * unit);
    // Peak flow from the shortest pulse interval, and time zero where the
    // tangent at the peak meets zero volume.
    double bestRate = 0.0, tPeak = 0.0, vPeak = 0.0;
    for (int i = 0; i + 1 < n; ++i) {
        const double span = (stamps[i + 1] - stamps[i]) * 1e-5;
        if (span <= 0.0)
            continue;
        if (1.0 / span > bestRate) {
            bestRate = 1.0 / span;
            tPeak = (stamps[i] + stamps[i + 1]) * 0.5e-5;
            vPeak = i + 1.5;
        }
    }
    if (bestRate <= 0.0) { // too few pulses for a peak: no sums but the volume
        sums[0] = sums[2];
        return;
    }
    const double t0 = std::max(start, tPeak - vPeak / bestRate);
    const int firstSecond =
        static_cast<int>(std::upper_bound(stamps.begin(), stamps.end(),
                                          static_cast<std::uint32_t>((t0 + 1.0) * 1e5)) -
                         stamps.begin());
    sums[0] = clamp16(firstSecond * unit);
    // PEF = coefficient x 10 / sum, with the pulse rate times the host's pulse volume.
    sums[1] = clamp16(10.0 / (bestRate * unit * 0.0001));
}

void AsciiDeviceSide::hostByte(unsigned char b)
{
    using namespace Wire::Ascii;
    if (ignores(b))
        return;
    switch (b) {
    case kConnect:
        reply({kConnectReply});
        break;
    case kStart:
        reply({kStartReply});
        startStream();
        break;
    case kStop:
        reply({kStopReply});
        stopStream();
        break;
    case kCoefficients: {
        reply({kCoefficientsReply});
        const auto exp = static_cast<unsigned char>(ReportedExpCoefficient());
        const auto insp = static_cast<unsigned char>(ReportedInspCoefficient());
        // Firmware 1.0 knows one coefficient for both directions.
        if (m_config.firmware < 11)
            reply(Wire::AsciiFrame(kCoefficientFrame, {exp}));
        else
            reply(Wire::AsciiFrame(kCoefficientFrame, {exp, insp}));
        break;
    }
    case kVersion: {
        reply({kVersionReply});
        // Version byte: high nibble the whole number, low nibble the tenths.
        const int major = m_config.firmware / 10, tenth = m_config.firmware % 10;
        reply(
            Wire::AsciiFrame(kVersionFrame, {static_cast<unsigned char>(major << 4 | tenth), 'A'}));
        break;
    }
    case kCalibrate2L:
        reply({kCalibrate2LReply});
        startCalibration(2);
        break;
    case kCalibrate3L:
        reply({kCalibrate3LReply});
        startCalibration(3);
        break;
    case kEndCalibration:
        stopCalibration();
        reply({kEndCalibrationReply});
        break;
    default:
        break; // unknown commands get no answer
    }
}

Wire::Bytes AsciiDeviceSide::calibrationStatus(int status) const
{
    using namespace Wire::Ascii;
    switch (status) {
    case 4:
        return {kCalRepeat};
    case 2:
        return {kCalWrongSyringe};
    case 3:
        return {kCalReplaceBlade};
    case 1:
        return {kCalSuccess};
    case 9:
        return {kCalWait};
    case 10:
        return {kCalClosed};
    default:
        return {static_cast<unsigned char>(status)};
    }
}

std::vector<VirtualSpirometer::StreamItem> AsciiDeviceSide::buildStream()
{
    using namespace Wire::Ascii;
    std::vector<StreamItem> items;
    // The device identifier in five pieces of six characters, then the temperature.
    for (int k = 1; k <= 5; ++k) {
        Wire::Bytes data{static_cast<unsigned char>(k)};
        for (int i = 0; i < 6; ++i) {
            const size_t at = 6 * (k - 1) + i;
            data.push_back(at < sizeof(kIdentifier) ? static_cast<unsigned char>(kIdentifier[at])
                                                    : 0);
        }
        items.push_back({0, Wire::AsciiFrame(kDeviceId, data), 0});
    }
    items.push_back(
        {0, Wire::AsciiFrame(kTemperature, {static_cast<unsigned char>(m_config.temperature)}), 0});
    const auto all = phases();
    int pulse = 0;
    for (size_t p = 0; p < all.size(); ++p) {
        const Phase& phase = all[p];
        const bool expiration = phase.expiration == 1;
        for (std::uint32_t t : phase.pulses) {
            items.push_back(
                {t,
                 Wire::AsciiFrame(expiration ? kExpPulse : kInspPulse, le32(t + Wire::kTimeOffset)),
                 ++pulse});
            items.back().blowStart = expiration && t == phase.pulses.front();
        }
        int sums[3];
        PhaseSums(phase.pulses, phase.start, expiration, sums);
        Wire::Bytes data;
        for (int s : sums) {
            data.push_back(static_cast<unsigned char>(s));
            data.push_back(static_cast<unsigned char>(s >> 8));
        }
        const auto end = static_cast<std::uint32_t>(phase.end * 1e5);
        items.push_back({end, Wire::AsciiFrame(expiration ? kExpEnd : kInspEnd, data), 0, true});
        if (!expiration) // a breath cycle ends; the last one ends the test
            items.push_back({end, {p + 1 == all.size() ? kTestEnd : kCycleEnd}, 0});
    }
    return items;
}
