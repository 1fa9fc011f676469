#include "core/device/wire_format.h"

namespace Wire {

unsigned char Checksum7(const unsigned char* bytes, int count)
{
    unsigned sum = 0;
    for (int i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<unsigned char>(sum % 128);
}

Bytes AsciiFrame(unsigned char code, const Bytes& data)
{
    Bytes frame{code, 0x80};
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] & 0x80)
            frame[1] |= static_cast<unsigned char>(1u << i);
        frame.push_back(static_cast<unsigned char>(data[i] | 0x80));
    }
    return frame;
}

Bytes ChecksumFrameWithHighBits(unsigned char code, const Bytes& data, unsigned char extraHighBits)
{
    Bytes frame{code, extraHighBits};
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] & 0x80)
            frame[1] |= static_cast<unsigned char>(1u << i);
        frame.push_back(static_cast<unsigned char>(data[i] & 0x7F));
    }
    frame.push_back(Checksum7(frame.data(), static_cast<int>(frame.size())));
    return frame;
}

Bytes ChecksumFrame(unsigned char code, const Bytes& params)
{
    Bytes frame{code};
    for (unsigned char p : params)
        frame.push_back(static_cast<unsigned char>(p & 0x7F));
    frame.push_back(Checksum7(frame.data(), static_cast<int>(frame.size())));
    return frame;
}

} // namespace Wire
