#include "engine_driver.h"

#include <gtest/gtest.h>

#include <cmath>

// Edges of the flow engine no recorded stream reaches (the values of whole
// blows: the golden streams and the waveform accuracy test).
namespace {

const double kExp145 = 145 * 0.008 * 0.0127; // litres per expiratory pulse at coefficient 145

} // namespace

TEST(FlowEngine, AnIntervalOver600MsKeepsItsVolumeAtItsMeanFlow) {
    auto engine = std::make_unique<FlowEngine>();
    engine->ResetEngine();
    EXPECT_EQ(engine->FeedInterval(0), 0);
    EXPECT_EQ(engine->FeedInterval(60000), 299); // still interpolated: 300 slot lengths, carry 200
    // A trickle: the gas of each pulse lies in the slots of its interval, too
    // little flow for the correction, and no more than a pulse's worth.
    for (std::uint32_t dt : {60001u, 80000u, 250000u, 4000000000u}) {
        const double before = engine->FinishPhase().fvc;
        engine->FeedInterval(dt);
        EXPECT_EQ(engine->SlotsOfLastPulse(), std::min<int>(dt / 200, 511)) << dt;
        EXPECT_NEAR(engine->FinishPhase().fvc - before, kExp145, 1e-6) << dt;
        EXPECT_LT(engine->LastSlotFlow(), kExp145 / 0.6);
    }
    EXPECT_DOUBLE_EQ(engine->Volume(), 6 * kExp145); // each pulse counts its volume
}

TEST(FlowEngine, InterpolatorUsesThePreviousPulsesInterval) {
    auto engine = std::make_unique<FlowEngine>();
    engine->ResetEngine();
    // First pulse: no slot yet, so R = 200000 / (2 x 1000) = 100 pulses/s,
    // ramping from 0: 4 slots, 200 carried.
    ASSERT_EQ(engine->FeedInterval(1000), 4);
    EXPECT_NEAR(engine->RawSlot(3), 100.0 * 800 / 1000 * kExp145, 1e-5);
    // Second pulse: R = 200000 / (3000 + 1000) = 50; slot j lies 200 j - 200
    // after the first pulse, so the 15th is at 2800 of 3000.
    ASSERT_EQ(engine->FeedInterval(3000), 15);
    EXPECT_NEAR(engine->RawSlot(4), 100.0 * kExp145, 1e-5);
    EXPECT_NEAR(engine->RawSlot(18), (100.0 - 50.0 * 2800 / 3000) * kExp145, 1e-5);
}

TEST(FlowEngine, SlowPulsesAndSuddenSlowDown) {
    auto engine = std::make_unique<FlowEngine>();
    engine->ResetEngine();
    engine->FeedInterval(1000); // 4 slots, 200 carried
    // 21000 after 1000 is halved towards the previous: 1000 + 20000 / 2.
    EXPECT_EQ(engine->FeedInterval(21000), 55);
    EXPECT_FALSE(engine->Stopped());
    engine->FeedInterval(2000); // a normal pulse clears the slow count
    engine->FeedInterval(31000);
    engine->FeedInterval(31000);
    EXPECT_FALSE(engine->Stopped());
    engine->FeedInterval(31000);
    EXPECT_TRUE(engine->Stopped());
    engine->FeedInterval(2000);
    EXPECT_FALSE(engine->Stopped());
    // 16000 after 12000 is slow (more than 3000 longer), after 14000 it is not.
    engine->FeedInterval(12000);
    engine->FeedInterval(16000);
    engine->FeedInterval(20000);
    engine->FeedInterval(24000);
    EXPECT_TRUE(engine->Stopped());
    engine->FeedInterval(26000);
    EXPECT_FALSE(engine->Stopped());
}

TEST(FlowEngine, ShortManoeuvreCapsTheTimedIndices) {
    const ForcedExpiration curve{1.0, 4.0, 0.06, 1.0};
    PulseStream stream;
    const int n = AppendIdealPulses(
        stream, [&](double t) { return curve.Volume(t); }, 0.6, kExp145, 0.1, kDirectionExpiration);
    EngineDriver driver;
    const FlowPhaseResult r = driver.phase(stream, 0, n, true);
    ASSERT_LT(r.totalTime, 1.0f); // fewer than 500 slots
    EXPECT_GT(r.timeZero, 0);
    // Shorter than a second: FEV1 is the whole blow, the volume before time
    // zero included.
    EXPECT_GT(r.evol, 0.0f);
    EXPECT_FLOAT_EQ(r.fev1, r.fvc);
    EXPECT_FLOAT_EQ(r.fev3, r.fev1);
    EXPECT_FLOAT_EQ(r.fev6, r.fev1);
}

TEST(FlowEngine, PeakInTheFirstThreeSlotsStartsTheClockAtZero) {
    auto engine = std::make_unique<FlowEngine>();
    engine->SetCoefficients(145, 145);
    engine->ResetEngine();
    engine->SetDirection(0);
    // A fast first pulse and then slowing ones: the flow peaks at slot 2.
    engine->FeedInterval(600);
    std::uint32_t dt = 2000;
    for (int i = 0; i < 200 && engine->SlotCount() < 3200; ++i, dt += 60)
        engine->FeedInterval(dt);
    ASSERT_GT(engine->SlotCount(), 3001);
    const FlowPhaseResult r = engine->FinishPhase();
    EXPECT_EQ(r.timeZero, 0);
    EXPECT_EQ(r.evolMl, 0);
    auto sum = [&](int from, int to) {
        double s = 0;
        for (int i = from; i < to; ++i)
            s += engine->Slot(i);
        return s * 0.002;
    };
    EXPECT_LT(engine->PeakSlot(), 3);
    EXPECT_NEAR(r.fev1, sum(0, 500), 1e-4);
    EXPECT_NEAR(r.fev3, sum(0, 1500), 1e-4);
    EXPECT_NEAR(r.fev6, sum(0, 3001), 1e-4); // slot 3000 is included
}

TEST(FlowEngine, SlotStorageStopsAt32768ButTheVolumeGoesOn) {
    auto engine = std::make_unique<FlowEngine>();
    engine->ResetEngine();
    for (int i = 0; i < 7000; ++i) // 70 s of steady 100 pulses/s
        engine->FeedInterval(1000);
    EXPECT_EQ(engine->SlotCount(), FlowEngine::kMaxSlots);
    double stored = 0;
    for (int i = 0; i < engine->SlotCount(); ++i)
        stored += engine->Slot(i);
    const FlowPhaseResult r = engine->FinishPhase();
    const double steadyFlow = 100 * kExp145;
    EXPECT_GT(r.fvc, stored * 0.002 + 4 * steadyFlow); // more than 4 s beyond the stored 65.5 s
    EXPECT_FLOAT_EQ(r.totalTime, 32768 * 0.002f);
}

// A reset leaves nothing of the phase before (a slow count, a peak): a small
// blow after a large one reads as it does on a fresh engine.
TEST(FlowEngine, ResetLeavesNothingOfTheBlowBefore) {
    auto blow = [](double capacity, double pef) {
        const ForcedExpiration curve{capacity, pef, 0.08, 1.3};
        PulseStream stream;
        AppendIdealPulses(
            stream, [&](double t) { return curve.Volume(t); }, 5.0, kExp145, 0.3,
            kDirectionExpiration);
        return stream;
    };
    auto measure = [](FlowEngine& engine, const PulseStream& stream) {
        engine.ResetEngine();
        engine.SetDirection(0);
        std::uint32_t last = 0;
        for (const PulseSample& s : stream) {
            engine.FeedInterval(s.time - last);
            last = s.time;
        }
        return engine.FinishPhase();
    };
    const PulseStream small = blow(2.0, 4.0);
    auto fresh = std::make_unique<FlowEngine>(), reused = std::make_unique<FlowEngine>();
    const FlowPhaseResult want = measure(*fresh, small);
    measure(*reused, blow(5.0, 10.0));
    const FlowPhaseResult got = measure(*reused, small);
    EXPECT_EQ(got.fvc, want.fvc);
    EXPECT_EQ(got.fev1, want.fev1);
    EXPECT_EQ(got.pef, want.pef);
    EXPECT_EQ(got.timeZero, want.timeZero);
    EXPECT_EQ(got.evolMl, want.evolMl);
    // The peak it reports is the small blow's too.
    EXPECT_EQ(reused->PeakSlot(), fresh->PeakSlot());
    EXPECT_EQ(reused->MaxRawFlow(), fresh->MaxRawFlow());
}
