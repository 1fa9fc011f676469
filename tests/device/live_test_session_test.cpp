// Whole live tests against the virtual spirometer: start sequence, receive
// worker, writer, file and database row.
#include "device_fixture.h"

#include "measure/measurement_store.h"
#include "measure/test_file_reader.h"

#include <cmath>
#include <cstdio>

namespace {

struct Outcome {
    LiveTestSession::StartResult start = LiveTestSession::kRefused;
    bool finished = false;
    bool timedOut = false;
    SaveResult saved;
    int resends = 0;
};

} // namespace

class LiveTestSessionTest : public DeviceTest {
protected:
    Outcome run(const SimConfig& config)
    {
        useDevice(config);
        Outcome out;
        LiveTestSession session;
        QObject::connect(&session, &LiveTestSession::deviceFinished, [&](int) { out.finished = true; });
        QObject::connect(&session, &LiveTestSession::timedOut, [&] { out.timedOut = true; });
        out.start = session.Start(int(config.test));
        if (out.start != LiveTestSession::kStarted)
            return out;
        EXPECT_TRUE(waitForEnd(session));
        out.resends = session.ResendRequests();
        if (out.finished)
            out.saved = session.Save(1, context(), db);
        return out;
    }
};

TEST_F(LiveTestSessionTest, FvcProfilesComeCloseToTheirTruthOnBothProtocols)
{
    for (SimProtocol protocol : {SimProtocol::Checksum, SimProtocol::Ascii}) {
        for (int profile = 1; profile <= 5; ++profile) {
            SimConfig config;
            config.profile = profile;
            config.protocol = protocol;
            const ProfileTruth truth = PatientModel(profile, SimTest::Fvc).Truth();
            const int rowsBefore = caseRows();
            const Outcome out = run(config);
            ASSERT_EQ(out.start, LiveTestSession::kStarted);
            ASSERT_TRUE(out.finished);
            ASSERT_EQ(out.saved.outcome, SaveOutcome::Saved);
            EXPECT_TRUE(QFile::exists(out.saved.path));
            EXPECT_EQ(caseRows(), rowsBefore + 1);
            const ManeuverResult& r = out.saved.record;
            std::printf("protocol %d profile %d: FVC %.3f/%.3f FEV1 %.3f/%.3f PEF %.3f/%.3f EVOL %d/%.0f\n",
                        int(protocol), profile, r.FVC, truth.fvc, r.FEV1, truth.fev1, r.PEF, truth.pef,
                        r.EVOL, truth.evol * 1000);
        }
    }
}
