#pragma once
// Shared body of the stream-parser fuzz targets: the input is cut into
// blocks of varying size (so frames are split across calls, as the receive
// worker meets them) and fed to one protocol object, with its store, engine
// and live point list, the way a test run does.
#include "core/device/device_protocol.h"
#include "core/measure/curve_point_list.h"
#include "core/measure/flow_engine.h"
#include "core/measure/measurement_store.h"
#include "core/session/assembler_sink.h"
#include "core/session/stream_receiver.h"

#include <cstddef>
#include <cstdint>
#include <memory>

template <class Protocol> int FuzzParseStream(const std::uint8_t* data, std::size_t size)
{
    static MeasurementStore store;
    static auto engine = std::make_unique<FlowEngine>();
    static CurvePointList points;
    if (size < 2)
        return 0;
    store.Clear();
    points.Clear();
    AssemblerSink sink(store, *engine, &points);
    sink.Assembler().Begin(data[0] % 3, 149, 149);
    Protocol protocol;
    sink.Attach(protocol);
    StreamReceiver receiver(protocol, sink, [](int) {});
    const std::size_t block = 1 + data[1] % 64;
    for (std::size_t at = 2; at < size; at += block) {
        unsigned char buffer[65] = {};
        const std::size_t n = size - at < block ? size - at : block;
        for (std::size_t i = 0; i < n; ++i)
            buffer[i] = data[at + i];
        receiver.Received(buffer, static_cast<int>(n));
        if (receiver.StreamOver() != AssemblerSink::Over::kNo) {
            store.finished = 0; // keep going: later bytes must not hurt either
            sink.Attach(protocol);
        }
        unsigned char frame[65] = {};
        for (std::size_t i = 0; i < n && i < sizeof(frame); ++i)
            frame[i] = buffer[i];
        protocol.ParseFrame(frame, static_cast<int>(n)); // any length, any code
        if (data[1] & 0x80)
            receiver.Quiet(); // the link falls quiet now and then: asks, then gives up
    }
    return 0;
}
