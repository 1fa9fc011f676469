// Faults on the line between the spirometer and the program: whatever the
// link loses, damages or delays, no wrong number is stored as a valid test.
#include "device_fixture.h"
#include "support/test_parts.h"

#include "core/app/lang_text.h"
#include "core/device/bluetooth_port.h"
#include "core/device/real_link_factories.h"
#include "core/device/simulated_bluetooth.h"
#include "core/session/stream_receiver.h"

#include <algorithm>
#include <cstring>

using LinkFaultTest = DeviceTest;

TEST_F(LinkFaultTest, PulseLostBeforeEveryPhaseEndStoresWhatACleanLineStores)
{
    for (SimProtocol protocol : {SimProtocol::Checksum, SimProtocol::Ascii}) {
        for (int profile = 1; profile <= 5; ++profile) {
            SimConfig config;
            config.profile = profile;
            config.protocol = protocol;
            const Outcome clean = run(config);
            config.faults.dropEnd = true;
            const Outcome faulty = run(config);
            ASSERT_EQ(clean.saved.outcome, SaveOutcome::Saved) << profile;
            ASSERT_EQ(faulty.saved.outcome, SaveOutcome::Saved) << profile;
            EXPECT_EQ(faulty.saved.bestIndex, clean.saved.bestIndex) << profile;
            EXPECT_EQ(TestParts().store.ManeuverCount(), 3) << profile; // no extra, empty one
            if (protocol == SimProtocol::Checksum) {
                // Every pulse came again when asked: the same file, byte for
                // byte, apart from the saving time and the file's name.
                EXPECT_EQ(faulty.file.left(88), clean.file.left(88)) << profile;
                EXPECT_EQ(faulty.file.mid(248), clean.file.mid(248)) << profile;
                EXPECT_GT(faulty.file.size(), 412) << profile;
                EXPECT_EQ(std::memcmp(&faulty.saved.record, &clean.saved.record,
                                      sizeof(ManeuverResult)),
                          0)
                    << profile;
            } else {
                // No resend on this link: each phase lacks its last pulse, a
                // difference the sums check allows (a pulse and the decay
                // the engine gives the phase's last interval).
                EXPECT_NEAR(faulty.saved.record.FVC, clean.saved.record.FVC, 0.04) << profile;
                EXPECT_NEAR(faulty.saved.record.FIVC, clean.saved.record.FIVC, 0.04) << profile;
            }
        }
    }
}

TEST_F(LinkFaultTest, PulseNeverResentMarksItsManoeuvreAndIsNeverStored)
{
    SimConfig clean;
    const Outcome reference = run(clean);
    ASSERT_EQ(reference.saved.outcome, SaveOutcome::Saved);

    // Pulse 100 lies in the first blow, the best of the clean run is not that one.
    SimConfig config;
    config.faults.lostPulse = 100;
    const Outcome out = run(config);
    ASSERT_TRUE(out.finished);
    ASSERT_GE(out.statuses.size(), 3u);
    EXPECT_EQ(out.statuses[0].complete, 0);
    EXPECT_EQ(out.statuses[2].complete, 1);
    EXPECT_GE(out.dataLostSignals, 1);
    const auto device = TestParts().devices.SimulatedDevice();
    ASSERT_TRUE(device);
    // Asked again, a bounded number of times.
    const auto asked = device->ResendRequests();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), 100),
              StreamReceiver::kMaxResendRequests);
    ASSERT_EQ(out.saved.outcome, SaveOutcome::Saved);
    EXPECT_NE(out.saved.bestIndex, 0);
    EXPECT_TRUE(std::memcmp(&out.saved.record, &reference.saved.record, sizeof(ManeuverResult)) ==
                    0 ||
                out.saved.bestIndex != reference.saved.bestIndex);
}

TEST_F(LinkFaultTest, BluetoothLinkAtAPersonsPaceToleratesRestsBetweenBlows)
{
    auto device = std::shared_ptr<VirtualSpirometer>(VirtualSpirometer::Make([] {
        SimConfig c;
        c.test = SimTest::Mvv;
        c.mvvBreaths = 3;
        c.realTime = true;
        c.faults.pauseMs = 1500;
        return c;
    }()));
    BluetoothLink link;
    link.blueTooth.SetTransport(std::make_unique<SimulatedBluetooth>(device));
    BluetoothLinkFactory factory(link);
    DeviceManager& manager = TestParts().devices;
    manager.SetFactory(LinkKind::Bluetooth, &factory);
    BluetoothPort::SetSetupDialog([&link] {
        link.blueTooth.EnumerateRadios();
        link.blueTooth.Inquire(true);
        link.chosenIndex = 0;
        return 1;
    });
    Settings().simulator = 0;
    Settings().communication = 0;

    LiveTestSession session(TestParts());
    bool finished = false, endedEarly = false;
    QObject::connect(&session, &LiveTestSession::deviceFinished, [&](int) { finished = true; });
    QObject::connect(&session, &LiveTestSession::endedEarly, [&] { endedEarly = true; });
    ASSERT_EQ(session.Start(kTestMvv), LiveTestSession::kStarted);
    EXPECT_TRUE(waitForEnd(session));
    EXPECT_TRUE(finished);
    EXPECT_FALSE(endedEarly);
    const SaveResult saved = session.Save(1, context(), db);
    EXPECT_EQ(saved.outcome, SaveOutcome::Saved);

    manager.Disconnect();
    manager.SetFactory(LinkKind::Bluetooth, nullptr);
    BluetoothPort::SetSetupDialog({});
    RegisterRealLinks(manager);
}
