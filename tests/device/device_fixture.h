#pragma once
// A program folder with a seeded database, one patient, and the device
// manager pointed at a virtual spirometer of the test's choosing.
#include "support/temp_home.h"
#include "support/test_parts.h"

#include "core/app/system_settings.h"
#include "core/device/bluetooth_port.h"
#include "core/device/device_manager.h"
#include "core/device/real_link_factories.h"
#include "core/device/virtual_spirometer.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"
#include "core/session/live_test_session.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <chrono>
#include <thread>

class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(db.Open(home.path("data.mdb"))) << db.LastError().toStdString();
        PatientRecord patient;
        patient.Height = 175;
        patient.Gender = 0;
        patientId = CreatePatient(db, patient);
        ASSERT_GT(patientId, 0);
        SavePatientDemographics(db, patientId, patient);
    }
    void TearDown() override
    {
        TestParts().devices.SetSimulatorConfig(std::nullopt);
        TestParts().devices.Disconnect();
    }

    // For tests that pump events.
    static void ensureApplication()
    {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "test";
            static char* argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
    }

    // Pumps events until `done`, for ten seconds at most.
    template <typename Done> static bool pumpUntil(Done done)
    {
        for (int i = 0; i < 1000 && !done(); ++i) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }

    // Uses `config` for the next connects.
    static void useDevice(const SimConfig& config)
    {
        TestParts().devices.SetSimulatorConfig(config);
    }

    struct Outcome {
        LiveTestSession::StartResult start = LiveTestSession::kRefused;
        bool finished = false;
        bool endedEarly = false;
        int dataLostSignals = 0;
        TestEnding ending;
        std::vector<ManeuverStatus> statuses;
        SaveResult saved;
        QByteArray file; // the stored test file's bytes
        int resends = 0;
    };

    // One live test against the virtual spirometer `config`, saved when
    // `save` and the device finished it or whole blows are kept (what the
    // page and the command line do); the manoeuvres stay in TestParts().store.
    Outcome run(const SimConfig& config, int silenceMs = LiveTestSession::kSilenceLimitMs,
                bool save = true)
    {
        useDevice(config);
        Outcome out;
        LiveTestSession session(TestParts());
        session.SetSilenceLimit(silenceMs);
        QObject::connect(&session, &LiveTestSession::deviceFinished,
                         [&](int) { out.finished = true; });
        QObject::connect(&session, &LiveTestSession::endedEarly, [&] { out.endedEarly = true; });
        QObject::connect(&session, &LiveTestSession::dataLost, [&] { ++out.dataLostSignals; });
        out.start = session.Start(int(config.test));
        if (out.start != LiveTestSession::kStarted)
            return out;
        EXPECT_TRUE(waitForEnd(session));
        out.resends = session.ResendRequests();
        out.ending = session.Ending();
        out.statuses = TestParts().store.Statuses();
        if (save && (out.finished || out.ending.kept > 0))
            out.saved = session.Save(1, context(), db);
        if (!out.saved.path.isEmpty()) {
            QFile f(out.saved.path);
            if (f.open(QIODevice::ReadOnly))
                out.file = f.readAll();
        }
        return out;
    }

    // Waits (bounded) until the session's worker has left its loop.
    static bool waitForEnd(LiveTestSession& session, int seconds = 60)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (session.Running() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        session.Join();
        return !session.Running();
    }

    SaveContext context() const
    {
        SaveContext c;
        c.patientId = patientId;
        c.caseFolder = AppPaths::PatientCaseFolder(patientId);
        c.heightCm = 175;
        c.gender = 0;
        return c;
    }

    int caseRows()
    {
        Recordset rs(db);
        rs.Open("select * from CaseInfo where ID = ?", {patientId});
        return rs.GetRecordCount();
    }

    int caseFiles() const
    {
        return QDir(AppPaths::PatientCaseFolder(patientId)).entryList({"*.dt"}, QDir::Files).size();
    }

    TempHome home;
    Database db;
    int patientId = 0;
};

// The links start-up registers, with the virtual spirometer put behind one of
// them by the test; the wired one unless the test says otherwise.
class RealLinkTest : public DeviceTest {
  protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        RegisterRealLinks(TestParts().devices);
        Settings().simulator = 0;
        Settings().communication = 1;
    }
    void TearDown() override
    {
        BluetoothPort::SetSetupDialog({});
        DeviceTest::TearDown();
        RegisterRealLinks(TestParts().devices);
    }

    // The Bluetooth setup dialog: scans and picks the first device `link` finds.
    static void pickFirstBluetoothDevice(BluetoothLink& link)
    {
        BluetoothPort::SetSetupDialog([&link] {
            link.blueTooth.EnumerateRadios();
            link.blueTooth.Inquire(true);
            link.chosenIndex = 0;
            return 1;
        });
    }
};
