#pragma once
// Byte-level rules both ends of the link share: the 7-bit checksum of the
// checksum-frame protocol, the high-bit byte that carries bit 7 of data bytes,
// and the command and reply codes of both protocols.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Wire {

using Bytes = std::vector<unsigned char>;

// Sum of the bytes modulo 128.
unsigned char Checksum7(const unsigned char* bytes, int count);

// Ascii-command frames: code, high-bit byte (bit 7 set), data bytes with bit 7
// set; bit 7 of data byte i travels in bit i of the high-bit byte.
Bytes AsciiFrame(unsigned char code, const Bytes& data);

// Checksum frames with a high-bit byte (pulse, phase end, coefficients):
// code, high-bit byte, 7-bit data bytes, checksum. `extraHighBits` are ORed
// into the high-bit byte above the data bits (bit 6 tells inspiration).
Bytes ChecksumFrameWithHighBits(unsigned char code, const Bytes& data, unsigned char extraHighBits);
// Plain checksum frame: code, 7-bit parameters as given, checksum.
Bytes ChecksumFrame(unsigned char code, const Bytes& params);

// Ascii commands (PC to device) and their replies.
namespace Ascii {
constexpr unsigned char kConnect = 'E', kConnectReply = 'T';
constexpr unsigned char kStart = 'A', kStartReply = 'q';
constexpr unsigned char kStop = 'B', kStopReply = 'r';
constexpr unsigned char kCoefficients = 0x40, kCoefficientsReply = 'p';
constexpr unsigned char kVersion = 'J', kVersionReply = 'z';
constexpr unsigned char kCalibrate2L = 'C', kCalibrate2LReply = 's';
constexpr unsigned char kCalibrate3L = 'D', kCalibrate3LReply = 't';
constexpr unsigned char kEndCalibration = 'F', kEndCalibrationReply = 'v';
// Frame codes the device streams.
constexpr unsigned char kCoefficientFrame = 1, kExpPulse = 2, kExpEnd = 3, kTestEnd = 4,
                        kInspPulse = 9, kInspEnd = 10, kTemperature = 11, kVersionFrame = 12,
                        kCycleEnd = 16, kDeviceId = 72;
// Calibration status bytes.
constexpr unsigned char kCalRepeat = 5, kCalWrongSyringe = 6, kCalReplaceBlade = 7, kCalSuccess = 8,
                        kCalWait = 17, kCalClosed = 'v';
// Units of the phase sums per turbine pulse: the host's pulse volume over
// coefficient x 0.0001 L, by direction.
constexpr double kExpSumUnit = 0.008 * 0.0127 / 0.0001;
constexpr double kInspSumUnit = 0.0132 / 130.0 / 0.0001;
} // namespace Ascii

// Checksum-frame codes.
namespace Frame {
constexpr unsigned char kVersion = 0x82, kCoefficients = 0x84, kTemperature = 0x85, kBattery = 0x86,
                        kConnect = 0x87, kStartCalibration = 0x8A, kEndCalibration = 0x8B,
                        kStart = 0x8C, kStop = 0x8D, kWait = 0x8E, kResend = 0x91, kWaitMark = 0xAA;
constexpr unsigned char kPulse = 0xE1, kPhaseEnd = 0xE2, kTestEnd = 0xE3;
constexpr unsigned char kVersionReply = 0xF2, kCoefficientsReply = 0xF4, kTemperatureReply = 0xF5,
                        kBatteryReply = 0xF6, kConnectReply = 0xF7, kCalibrationStatus = 0xFA,
                        kEndCalibrationReply = 0xFB, kStartReply = 0xFC, kStopReply = 0xFD,
                        kWaitReply = 0xFE;
// Bit of the high-bit byte that marks inspiration in pulse and phase-end frames.
constexpr unsigned char kInspirationBit = 0x40;
} // namespace Frame

// Device time stamps carry this offset on the wire (10 us units).
constexpr std::uint32_t kTimeOffset = 80000;

} // namespace Wire
