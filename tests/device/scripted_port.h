#pragma once
// A DevicePort that plays prepared replies and records what was written.
#include "core/device/device_port.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

class ScriptedPort : public DevicePort {
  public:
    using Bytes = std::vector<unsigned char>;

    int IsOpen() override { return open; }
    int Open() override { return open = 1; }
    int Close() override
    {
        open = 0;
        return 1;
    }
    int Write(const unsigned char* buffer, int count) override
    {
        writes.emplace_back(buffer, buffer + count);
        return 1;
    }
    // One prepared reply per read; 0 when none is left (and, on a byte
    // stream, when the reply is shorter than the read).
    int Read(unsigned char* buffer, int count) override
    {
        ++reads;
        if (replies.empty())
            return 0;
        const Bytes reply = replies.front();
        replies.pop_front();
        if (byteStream && int(reply.size()) < count)
            return 0;
        if (!reply.empty()) // an empty reply is a read that brought nothing
            std::memcpy(buffer, reply.data(), std::min<size_t>(count, reply.size()));
        return 1;
    }

    int open = 1;
    bool byteStream = false;
    int reads = 0;
    std::deque<Bytes> replies;
    std::vector<Bytes> writes;
};
