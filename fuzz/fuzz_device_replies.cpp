// The device reply parsers of both protocols (coefficients, version,
// calibration status, battery, temperature) on arbitrary replies, cut into
// reads of sizes the input chooses.
#include "core/device/ascii_command_protocol.h"
#include "core/device/checksum_frame_protocol.h"
#include "device/scripted_port.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

// First byte: the protocol and which requests run; then (length, bytes) pieces.
void queueReplies(ScriptedPort& port, const std::uint8_t* data, std::size_t size)
{
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = std::min<std::size_t>(data[at] % 72, size - at - 1);
        ++at;
        port.replies.emplace_back(data + at, data + at + length);
        at += length;
    }
}

void run(DeviceProtocol& protocol, int which)
{
    int frameLength = 0;
    QString text;
    if (which & 1)
        protocol.ReadCoefficients();
    if (which & 2)
        protocol.GetVersion(frameLength, text);
    if (which & 4)
        protocol.GetCalibrationStatus(3);
    if (which & 8)
        protocol.GetBatteryLevel();
    if (which & 16)
        protocol.ReadTemperature();
    if (which & 32)
        protocol.CheckConnection();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    ScriptedPort port;
    queueReplies(port, data + 1, size - 1);
    if (data[0] & 0x80) {
        // The ascii protocol waits 20 ms before a version reply: asked rarely.
        AsciiCommandProtocol protocol;
        protocol.SetPort(&port);
        run(protocol, data[0] & ((data[0] & 0x40) ? 0x3F : 0x3D));
    } else {
        ChecksumFrameProtocol protocol;
        protocol.SetPort(&port);
        run(protocol, data[0] & 0x3F);
    }
    return 0;
}
