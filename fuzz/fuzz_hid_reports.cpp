// HID report reassembly: the USB HID port of the program (HidPort over CHID)
// on a device in memory whose report descriptor and input reports come from
// the input. The port's reads put report payloads back together into the
// caller's block; the checksum-frame protocol's requests run over the same
// port, as they do with a real device.
#include "core/device/checksum_frame_protocol.h"
#include "core/device/hid_port.h"
#include "links/fake_hid_backend.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

namespace {

constexpr unsigned char kUnplugged = 255; // a report piece of this length: the device is gone

// Input: flags, descriptor length, descriptor, then (length, payload) pieces.
struct Script {
    unsigned char flags = 0;
    QByteArray descriptor;
    std::deque<QByteArray> reports;
    std::size_t unplugAfter = SIZE_MAX; // reports handed out before the unplug
};

Script parse(const std::uint8_t* data, std::size_t size)
{
    Script script;
    script.flags = data[0];
    std::size_t at = 1;
    const std::size_t descriptorLength = std::min<std::size_t>(data[at], size - at - 1);
    ++at;
    script.descriptor = QByteArray(reinterpret_cast<const char*>(data + at),
                                   static_cast<qsizetype>(descriptorLength));
    at += descriptorLength;
    while (at < size) {
        const unsigned char length = data[at++];
        if (length == kUnplugged) {
            script.unplugAfter = script.reports.size();
            break;
        }
        const std::size_t n = std::min<std::size_t>(length, size - at);
        script.reports.emplace_back(reinterpret_cast<const char*>(data + at),
                                    static_cast<qsizetype>(n));
        at += n;
    }
    return script;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    Script script = parse(data, size);
    auto state = std::make_shared<FakeHidState>();
    state->devices = {SpirometerHid("/dev/hidraw-fuzz")};
    state->descriptor = script.descriptor;
    HidPort port(std::make_unique<FakeHidBackend>(state));
    if (!port.Open())
        return 0;
    const int reportLength = port.ReportLength();
    if (reportLength < 2 || reportLength > 4097)
        std::abort(); // a report length the port cannot work with, or one no device has
    state->input = script.reports; // an empty report stands for a read that timed out

    if (script.flags & 0x80) {
        // The requests of the checksum-frame protocol over this port.
        ChecksumFrameProtocol protocol;
        protocol.SetPort(&port);
        int frameLength = 0;
        QString text;
        if (script.flags & 1)
            protocol.ReadCoefficients();
        if (script.flags & 2)
            protocol.GetVersion(frameLength, text);
        if (script.flags & 4)
            protocol.GetCalibrationStatus(3);
        if (script.flags & 8)
            protocol.GetBatteryLevel();
        if (script.flags & 16)
            protocol.ReadTemperature();
        return 0;
    }
    // Block reads of the size the flags choose (the receive worker reads 64),
    // into a buffer of exactly that size so that any write past it is caught.
    const int count = (script.flags & 0x40) ? 64 : 1 + (script.flags & 0x3F) * 3;
    std::size_t handedOut = 0;
    const bool unplugs = script.unplugAfter != SIZE_MAX;
    while (port.IsOpen() && (!state->input.empty() || (unplugs && !state->unplugged))) {
        if (handedOut >= script.unplugAfter)
            state->unplugged = true;
        std::vector<unsigned char> block(static_cast<std::size_t>(count), 0);
        const std::size_t before = state->input.size();
        const int ok = port.Read(block.data(), count);
        handedOut += before - state->input.size();
        if (state->unplugged && (ok || port.IsOpen()))
            std::abort(); // an unplugged device must close the port, never give data
    }
    return 0;
}
