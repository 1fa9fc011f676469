// Replay throughput of a whole FVC test stream through the stream parser, in
// 64-byte blocks as the receive worker reads them: bytes and pulses per
// second on both protocols.
#include "core/device/ascii_command_protocol.h"
#include "core/device/checksum_frame_protocol.h"
#include "core/device/virtual_spirometer.h"
#include "core/measure/curve_point_list.h"
#include "core/measure/flow_engine.h"
#include "core/measure/measurement_store.h"
#include "core/session/assembler_sink.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// What the worker reads during one FVC test of profile 1 (three manoeuvres).
std::vector<unsigned char> capture(SimProtocol protocol, int* pulses)
{
    SimConfig config;
    config.protocol = protocol;
    auto device = VirtualSpirometer::Make(config);
    *pulses = device->TotalPulses();
    const unsigned char start[] = {0x8C, 0x0C};
    const unsigned char asciiStart[] = {'A'};
    if (protocol == SimProtocol::Ascii)
        device->HostBytes(asciiStart, 1);
    else
        device->HostBytes(start, 2);
    unsigned char block[64];
    device->DeviceBytes(block, 64);
    std::vector<unsigned char> stream;
    while (int n = device->DeviceBytes(block, 64)) {
        stream.insert(stream.end(), block, block + n);
        if (device->ReportSize() > 0)
            stream.resize(stream.size() + (64 - n), 0);
    }
    return stream;
}

template <class Protocol> void replay(benchmark::State& state, SimProtocol kind)
{
    int pulses = 0;
    const std::vector<unsigned char> stream = capture(kind, &pulses);
    MeasurementStore store;
    auto engine = std::make_unique<FlowEngine>();
    CurvePointList points;
    for (auto _ : state) {
        store.Clear();
        points.Clear();
        AssemblerSink sink(store, *engine, &points);
        sink.Assembler().Begin(kTestFvc, 149, 149);
        Protocol protocol;
        protocol.SetCoefficients(149, 149, 33);
        sink.Attach(protocol);
        for (size_t at = 0; at < stream.size(); at += 64) {
            unsigned char block[65] = {};
            std::memcpy(block, stream.data() + at, std::min<size_t>(64, stream.size() - at));
            protocol.ParseStream(block, 64);
            if (sink.StreamOver() != AssemblerSink::Over::kNo)
                break;
        }
        benchmark::DoNotOptimize(store.ManeuverCount());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(stream.size()));
    state.counters["pulses/s"] =
        benchmark::Counter(double(pulses), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["stream bytes"] = double(stream.size());
}

void ChecksumFrameFvcReplay(benchmark::State& state)
{
    replay<ChecksumFrameProtocol>(state, SimProtocol::Checksum);
}
void AsciiCommandFvcReplay(benchmark::State& state)
{
    replay<AsciiCommandProtocol>(state, SimProtocol::Ascii);
}

} // namespace

BENCHMARK(ChecksumFrameFvcReplay)->Unit(benchmark::kMicrosecond);
BENCHMARK(AsciiCommandFvcReplay)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
