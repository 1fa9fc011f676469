// Feeds arbitrary bytes to the test-file reader, then runs what a reader
// hands on (samples through the flow engine, the acceptance walk) so that
// hostile counts and stamps are exercised as well.
#include "core/measure/flow_engine.h"
#include "core/measure/maneuver_quality.h"
#include "core/measure/record_codec.h"
#include "core/measure/test_file_reader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto engine = std::make_unique<FlowEngine>();
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (bytes.size() >= kHeaderSize) {
        // The curve readers with every trailer rule, on whatever header the bytes hold.
        const TestFileHeader header = RecordCodec::DecodeHeader(bytes.constData());
        PulseStream samples;
        for (int reader : {kTestFvc, kTestVc, kTestMvv})
            ParseSamples(bytes, header, reader, samples);
    }
    TestFile file;
    if (!ParseTestFile(bytes, file))
        return 0;
    engine->SetCoefficients(file.header.expCoefficient, file.header.inspCoefficient);
    engine->ResetEngine();
    engine->SetDirection(0);
    std::uint32_t last = 0;
    const int expCount = file.record.ExpCount;
    for (int i = 0; i < int(file.samples.size()); ++i) {
        if (i == expCount) {
            engine->FinishPhase();
            engine->ResetEngine();
            engine->SetDirection(1);
        }
        engine->FeedInterval(file.samples[i].time - last);
        last = file.samples[i].time;
    }
    engine->FinishPhase();
    AcceptanceFlags flags;
    Acceptance(file.record, file.header, flags, file.samples.data(), int(file.samples.size()));
    return 0;
}
