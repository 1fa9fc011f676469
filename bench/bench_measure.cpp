// Flow engine throughput on realistic pulse streams, the time to rebuild the
// curves of one day from stored test files, and the time to keep a session.
#include "core/measure/flow_engine.h"
#include "core/measure/ideal_pulses.h"
#include "core/measure/record_codec.h"
#include "core/measure/test_file_reader.h"
#include "core/measure/test_file_writer.h"

#include "core/app/app_paths.h"
#include "core/measure/measurement_store.h"
#include "core/records/case_store.h"
#include "core/records/database.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct Phase {
    PulseStream pulses;
    bool expiration;
};

// Feeds every phase as the stream parser does; returns the slots produced.
long long runPhases(FlowEngine& engine, const std::vector<Phase>& phases) {
    long long slotCount = 0;
    std::uint32_t last = 0;
    engine.ResetEngine();
    engine.SetDirection(0);
    for (const Phase& phase : phases) {
        for (const PulseSample& s : phase.pulses) {
            slotCount += engine.FeedInterval(s.time - last);
            last = s.time;
        }
        benchmark::DoNotOptimize(engine.FinishPhase());
        engine.ResetEngine();
        engine.SetDirection(phase.expiration ? 1 : 0);
    }
    return slotCount;
}

long long pulseCount(const std::vector<Phase>& phases) {
    long long n = 0;
    for (const Phase& p : phases)
        n += (long long)p.pulses.size();
    return n;
}

// A 6-second forced expiration of 4.5 L, peak 9 L/s.
std::vector<Phase> fvcManoeuvre() {
    const ForcedExpiration blow{4.6, 9.0, 0.08, 1.3};
    Phase phase{{}, true};
    AppendIdealPulses(
        phase.pulses, [&](double t) { return blow.Volume(t); }, 6.0,
        FlowEngine::ExpiratoryPulseVolume(149), 0.5, kDirectionExpiration);
    return {phase};
}

// 12 seconds of maximal ventilation: 1.8 L breaths at 90 per minute.
std::vector<Phase> mvvRun() {
    std::vector<Phase> phases;
    const SineBreath half{1.8, 1.0 / 3};
    double start = 0.2;
    while (start + 2 * half.duration <= 12.2) {
        for (bool expiration : {true, false}) {
            Phase phase{{}, expiration};
            const double k = expiration ? FlowEngine::ExpiratoryPulseVolume(149)
                                        : FlowEngine::InspiratoryPulseVolume(149);
            AppendIdealPulses(
                phase.pulses, [&](double t) { return half.Volume(t); }, half.duration, k, start,
                expiration ? kDirectionExpiration : kDirectionInspiration);
            phases.push_back(std::move(phase));
            start += half.duration;
        }
    }
    return phases;
}

void runStream(benchmark::State& state, const std::vector<Phase>& phases, double seconds) {
    auto engine = std::make_unique<FlowEngine>();
    engine->SetCoefficients(149, 149);
    long long slotCount = 0;
    for (auto _ : state)
        slotCount += runPhases(*engine, phases);
    const double iterations = double(state.iterations());
    state.counters["pulses/s"] =
        benchmark::Counter(double(pulseCount(phases)) * iterations, benchmark::Counter::kIsRate);
    state.counters["slots/s"] = benchmark::Counter(double(slotCount), benchmark::Counter::kIsRate);
    // Seconds of breathing processed per second: the multiple of real time.
    state.counters["x_realtime"] =
        benchmark::Counter(seconds * iterations, benchmark::Counter::kIsRate);
}

void BM_EngineFvc6s(benchmark::State& state) {
    runStream(state, fvcManoeuvre(), 6.0);
}
BENCHMARK(BM_EngineFvc6s);

void BM_EngineMvv12s(benchmark::State& state) {
    runStream(state, mvvRun(), 12.0);
}
BENCHMARK(BM_EngineMvv12s);

// Eight FVC files of one day, read from disk and run through the engine
// (expiration and inspiration), as the stored-curve drawing does.
void BM_RebuildDayCurves(benchmark::State& state) {
    QTemporaryDir dir;
    for (int i = 1; i <= 8; ++i) {
        const ForcedExpiration blow{4.0 + 0.1 * i, 8.0 + 0.2 * i, 0.08, 1.2};
        const SineBreath breath{3.5, 2.0};
        PulseStream samples;
        ManeuverResult record;
        record.ExpCount = AppendIdealPulses(
            samples, [&](double t) { return blow.Volume(t); }, 6.0,
            FlowEngine::ExpiratoryPulseVolume(149), 2.0, kDirectionExpiration);
        record.InspCount = AppendIdealPulses(
            samples, [&](double t) { return breath.Volume(t); }, 2.0,
            FlowEngine::InspiratoryPulseVolume(149), 8.2, kDirectionInspiration);
        SaveContext context;
        context.expCoefficient = context.inspCoefficient = 149;
        const QString name = QString("%1.dt").arg(i);
        TestFileHeader header = MakeHeader(context, name, "2026-03-04 10:00:00");
        QByteArray trailer;
        RecordCodec::AppendAcceptance(trailer, AcceptanceFlags{});
        QFile file(dir.path() + '/' + name);
        file.open(QIODevice::WriteOnly);
        file.write(BuildTestFile(header, record, samples.data(), int(samples.size()), trailer));
    }
    auto engine = std::make_unique<FlowEngine>();
    for (auto _ : state) {
        for (int i = 1; i <= 8; ++i) {
            TestFile file;
            if (!ReadTestFile(dir.path() + QString("/%1.dt").arg(i), file)) {
                state.SkipWithError("unreadable test file");
                return;
            }
            engine->SetCoefficients(file.header.expCoefficient, file.header.inspCoefficient);
            std::vector<Phase> phases(2);
            phases[0].expiration = true;
            phases[0].pulses.assign(file.samples.begin(),
                                    file.samples.begin() + file.record.ExpCount);
            phases[1].pulses.assign(file.samples.begin() + file.record.ExpCount,
                                    file.samples.end());
            benchmark::DoNotOptimize(runPhases(*engine, phases));
        }
    }
    state.SetItemsProcessed(state.iterations() * 8);
}
BENCHMARK(BM_RebuildDayCurves)->Unit(benchmark::kMillisecond);

// One FVC session of N blows kept as the live test keeps it: a durable file
// and a CaseInfo row per blow in a real SQLite database (every blow since
// sessions keep them all; a single blow before).
void BM_SaveSession(benchmark::State& state) {
    QTemporaryDir dir;
    AppPaths::Init(dir.path(), dir.path());
    Database db;
    if (!db.Open(dir.path() + "/data.mdb")) {
        state.SkipWithError("no database");
        return;
    }
    const int blows = int(state.range(0));
    MeasurementStore store;
    double clock = 0;
    for (int i = 0; i < blows; ++i) {
        const ForcedExpiration blow{4.0 + 0.02 * i, 8.0, 0.08, 1.2};
        const SineBreath breath{3.8, 2.0};
        PulseStream pulses;
        ManeuverResult r;
        r.ExpCount = AppendIdealPulses(
            pulses, [&](double t) { return blow.Volume(t); }, 6.0,
            FlowEngine::ExpiratoryPulseVolume(149), clock + 2.0, kDirectionExpiration);
        r.InspCount = AppendIdealPulses(
            pulses, [&](double t) { return breath.Volume(t); }, 2.0,
            FlowEngine::InspiratoryPulseVolume(149), clock + 8.2, kDirectionInspiration);
        r.FVC = float(blow.Volume(6.0)), r.FEV1 = 3.2f, r.PEF = 8.0f, r.FET = 5.5f, r.FIVC = 3.8f;
        r.FEV3 = 3.9f, r.FEV6 = r.FVC, r.EVOL = 60, r.Duration = 5;
        for (const PulseSample& s : pulses)
            store.AppendPulse(s);
        store.AppendManeuver(r);
        clock = pulses.back().time * 1e-5;
    }
    SaveContext context;
    context.patientId = 1;
    context.caseFolder = AppPaths::PatientCaseFolder(1);
    context.heightCm = 175;
    context.now = QDateTime(QDate(2026, 3, 4), QTime(10, 0));
    for (auto _ : state) {
        const SaveResult saved = SaveTest(1, store, context, *PatientTestStore(db, 1, context.caseFolder));
        if (saved.outcome != SaveOutcome::Saved || int(saved.stored.size()) != blows) {
            state.SkipWithError("the session was not kept whole");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * blows);
}
BENCHMARK(BM_SaveSession)->Arg(1)->Arg(3)->Arg(8)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
