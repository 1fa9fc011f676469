// tavctl demo-seed: a few demo patients for a fresh program folder, so the
// desktop program opens on a living patient list. Does nothing when patients exist.
#include "cli_context.h"
#include "commands.h"
#include "json_out.h"

#include "core/app/app_paths.h"

#include "core/device/device_manager.h"
#include "core/device/virtual_spirometer.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/session_records.h"
#include "core/clinical/gli_patient.h"
#include "core/session/live_test_session.h"
#include "core/session/measurement_parts.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QThread>

#include <atomic>

namespace {

struct DemoPatient {
    const char* name;
    int gender;
    int birthYear, birthMonth, birthDay;
    int height, weight;
    int nation;   // Race.ID
    int standard; // 0 ERS, 1 Knudson, 2 USA, 3 GLI-2012, 4 GLI Global 2022
    bool smoker;
};

// Every demo patient is read against GLI Global 2022, the set new patients get.
const DemoPatient kDemoPatients[] = {
    {"Li Wei", 0, 1975, 4, 12, 175, 72, 3, kStandardGliGlobal2022, false},
    {"Anna Schmidt", 1, 1988, 9, 3, 165, 58, 1, kStandardGliGlobal2022, false},
    {"Robert O'Brien", 0, 1952, 1, 28, 180, 86, 1, kStandardGliGlobal2022, true},
    {"Maria Santos", 1, 2010, 6, 17, 148, 41, 10, kStandardGliGlobal2022, false},
    {"王芳", 1, 1969, 11, 30, 158, 55, 3, kStandardGliGlobal2022, false},
};

// The demo tests: patient (index), days before today, time of day, test type,
// the virtual patient's profile (1 normal, 2 obstructive, 3 restrictive,
// 4 poor start, 5 early stop) and the bronchodilator phase. Each FVC test is
// one session of three blows. Each patient's blows come from that patient's
// lungs: the poor-start and early-stop profiles are normal lungs blown badly.
// What the days show:
// - Li Wei: two normal days, one with a VC test;
// - Anna Schmidt: a restrictive pattern;
// - Robert O'Brien: an obstructive pre session and, after salbutamol, a post
//   session that has opened up (a bronchodilator day with its details);
// - Maria Santos: every blow stopped early (no acceptable FVC: grade U);
// - 王芳: every blow started hesitantly (nothing acceptable or usable: grade F).
struct DemoTest {
    int patient;
    int daysAgo;
    int hour, minute;
    SimTest test;
    int profile;
    int phase = kPhasePre;
    bool bronchodilator = false; // the post session's drug, dose and time are kept
};

const DemoTest kDemoTests[] = {
    {0, 30, 9, 10, SimTest::Fvc, 1},
    {0, 2, 10, 5, SimTest::Fvc, 1},
    {0, 2, 10, 20, SimTest::Vc, 1},
    {1, 5, 15, 30, SimTest::Fvc, 3},
    {2, 1, 11, 0, SimTest::Fvc, 2, kPhasePre},
    {2, 1, 11, 25, SimTest::Fvc, 1, kPhasePost, true},
    {3, 4, 16, 0, SimTest::Fvc, 5},
    {4, 3, 8, 40, SimTest::Fvc, 4},
};

// One headless test on the virtual spirometer, stored as if it ran at `when`;
// the number of tests kept (every blow of an FVC session is one).
int runDemoTest(MeasurementParts& parts, Database& db, const PatientRecord& patient,
                 const DemoTest& demo, const QDateTime& when)
{
    SimConfig config;
    config.profile = demo.profile;
    config.test = demo.test;
    parts.devices.SetSimulatorConfig(config);
    LiveTestSession session(parts);
    std::atomic<bool> finished{false};
    QObject::connect(&session, &LiveTestSession::deviceFinished,
                     [&finished](int) { finished = true; });
    if (session.Start(int(demo.test)) != LiveTestSession::kStarted)
        return 0;
    const QDateTime giveUp = QDateTime::currentDateTime().addSecs(60);
    while (session.Running() && QDateTime::currentDateTime() < giveUp)
        QThread::msleep(2);
    session.Join();
    if (!finished)
        return 0;
    SaveContext context;
    context.patientId = patient.ID;
    context.caseFolder = AppPaths::PatientCaseFolder(patient.ID);
    context.testType = int(demo.test);
    context.heightCm = patient.Height;
    context.gender = patient.Gender;
    context.now = when;
    context.phase = demo.phase;
    context.basis = PatientTestBasis(patient);
    const SaveResult saved = session.Save(1, context, db);
    if (saved.outcome != SaveOutcome::Saved)
        return 0;
    if (demo.test == SimTest::Fvc && !saved.stored.empty()) {
        SessionDetail detail;
        detail.referrer = "Dr. Helen Park";
        if (demo.bronchodilator) {
            detail.drug = "Salbutamol (MDI with spacer)";
            detail.dose = "400 µg";
            detail.doseTime = when.addSecs(-20 * 60);
        }
        SaveSessionDetail(db, patient.ID, saved.stored.front().number, detail);
    }
    return saved.stored.empty() ? 1 : int(saved.stored.size());
}

} // namespace

int CmdDemoSeed(CliContext& context, QStringList& args)
{
    if (!args.isEmpty())
        return CliContext::Fail("demo-seed takes no arguments");
    // Qt's connection registry must be created before the shared Database, so
    // that it is destroyed after it at exit (the Database closes itself then).
    QSqlDatabase::contains(QString());
    if (!context.OpenDatabase())
        return 2;
    Database& db = context.Db();
    QJsonArray created;
    int tests = 0;
    if (LastPatientId(db) == 0) {
        std::vector<PatientRecord> patients;
        for (const DemoPatient& demo : kDemoPatients) {
            PatientRecord record;
            record.Name = QString::fromUtf8(demo.name);
            record.Gender = demo.gender;
            record.Birthdate = QDate(demo.birthYear, demo.birthMonth, demo.birthDay);
            record.Age = AgeFromBirthdate(record.Birthdate);
            record.Height = demo.height;
            record.Weight = demo.weight;
            record.Nation = demo.nation;
            record.Standard = demo.standard;
            record.Smoker = demo.smoker;
            const int id = CreatePatient(db, record);
            if (id <= 0) {
                const QString error = db.LastError();
                db.Close();
                return CliContext::Fail("cannot add a demo patient: " + error);
            }
            ReconcileDay(db, id, QString()); // makes the patient's case folder
            LoadPatient(db, id, record);
            patients.push_back(record);
            created.append(id);
        }
        // A few days of tests, so the lists, panes and results have something to show.
        const QDate today = QDate::currentDate();
        for (const DemoTest& demo : kDemoTests) {
            const QDateTime when(today.addDays(-demo.daysAgo), QTime(demo.hour, demo.minute));
            tests += runDemoTest(context.Parts(), db, patients[size_t(demo.patient)], demo, when);
        }
        context.Parts().devices.SetSimulatorConfig(std::nullopt);
        context.Parts().devices.Disconnect();
    }
    // Closed here: the shared connection must not outlive the Qt SQL plugins at exit.
    db.Close();
    PrintJson(QJsonObject{{"created", created}, {"tests", tests}});
    return 0;
}
