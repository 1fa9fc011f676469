#include "core/measure/measurement_store.h"

#include <gtest/gtest.h>

#include <thread>

TEST(MeasurementStore, ReaderSeesAGrowingStreamAndEverythingOnceFinished) {
    MeasurementStore store;
    constexpr int kPulses = 20000;
    std::thread receiver([&] {
        for (int i = 0; i < kPulses; ++i) {
            store.AppendPulse({std::uint32_t(i), i % 2});
            if (i % 1000 == 999) {
                ManeuverResult r;
                r.ExpCount = i;
                store.AppendManeuver(r);
            }
        }
        store.finished = 1;
    });
    int seen = 0;
    bool consistent = true;
    while (!store.finished.load() && consistent) {
        const int count = store.PulseCount();
        const PulseStream snapshot = store.Pulses();
        // Counts only grow, and a snapshot is never torn.
        consistent = count >= seen && int(snapshot.size()) >= count &&
                     (snapshot.empty() || snapshot.back().time == snapshot.size() - 1);
        seen = count;
    }
    receiver.join();
    EXPECT_TRUE(consistent);
    EXPECT_EQ(store.PulseCount(), kPulses);
    EXPECT_EQ(store.ManeuverCount(), kPulses / 1000);
    EXPECT_EQ(store.Maneuvers().back().ExpCount, kPulses - 1);

    store.SetTidal({1, 2, 3, 4}, 1);
    store.AppendTidalSummary(TidalSummary{});
    store.Clear();
    EXPECT_EQ(store.PulseCount(), 0);
    EXPECT_EQ(store.ManeuverCount(), 0);
    EXPECT_TRUE(store.TidalSummaries().empty());
    EXPECT_EQ(store.Tidal(), (TidalIndices{-1, -1, -1, -1}));
    EXPECT_EQ(store.tidalFound.load(), 0);
    EXPECT_EQ(store.finished.load(), 0);
}
