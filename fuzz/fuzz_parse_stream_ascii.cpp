// libFuzzer target: the ascii-command stream parser.
#include "fuzz_parse_stream.h"

#include "core/device/ascii_command_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FuzzParseStream<AsciiCommandProtocol>(data, size);
}
