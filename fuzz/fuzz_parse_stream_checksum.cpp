// libFuzzer target: the checksum-frame stream parser.
#include "fuzz_parse_stream.h"

#include "core/device/checksum_frame_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FuzzParseStream<ChecksumFrameProtocol>(data, size);
}
