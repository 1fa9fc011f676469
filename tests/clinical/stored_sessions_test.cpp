// Sessions as stored: an old database upgraded in place, rows grouped into
// sessions and graded from their files, measures taken from the pulses.
#include "support/stored_tests.h"
#include "support/temp_home.h"

#include "core/clinical/maneuver_measures.h"
#include "core/measure/flow_engine.h"
#include "core/measure/test_file_writer.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/schema_upgrade.h"
#include "core/records/session_records.h"
#include "core/report/day_sessions.h"
#include "core/report/day_tests.h"

#include <QSqlQuery>

#include <gtest/gtest.h>

namespace {

TEST(ManeuverMeasuresTest, PlateauAndHesitationFromThePulses)
{
    const double pulse = FlowEngine::ExpiratoryPulseVolume(kCoefficient);
    PulseStream samples = blowPulses(true);
    ManeuverMeasures m = MeasuresFromRecord(blowRecord(3, 2.5, samples), samples.data(),
                                            int(samples.size()), kCoefficient);
    EXPECT_NEAR(m.plateauVolume, pulse, 1e-12); // only the last pulse in the last second
    EXPECT_NEAR(m.hesitation, 0.0, 1e-9); // full flow from the first pulse on
    EXPECT_NEAR(m.bev, 0.050, 1e-12);

    samples = blowPulses(false);
    m = MeasuresFromRecord(blowRecord(3, 2.5, samples), samples.data(), int(samples.size()), kCoefficient);
    EXPECT_NEAR(m.plateauVolume, 20 * pulse, 1e-12);
    // A long slow tail after a sharp start is no hesitation, however short FET is.
    samples = blowPulses(false, 9.0);
    m = MeasuresFromRecord(blowRecord(3, 2.5, samples), samples.data(), int(samples.size()), kCoefficient);
    EXPECT_NEAR(m.hesitation, 0.0, 1e-9);

    // A hesitant start: ten pulses 50 ms apart, then the blast at 200 pulses a
    // second. The tangent at peak flow meets zero volume 10 pulses / 200 per s
    // = 0.05 s before the blast begins at 0.5 s; the first pulse came at 0.05 s.
    samples.clear();
    for (int i = 1; i <= 10; ++i)
        samples.push_back({std::uint32_t(i * 5000), kDirectionExpiration});
    for (int i = 1; i <= 200; ++i)
        samples.push_back({std::uint32_t(50000 + i * 500), kDirectionExpiration});
    for (int i = 1; i <= 100; ++i)
        samples.push_back({std::uint32_t(150000 + i * 2000), kDirectionExpiration});
    m = MeasuresFromRecord(blowRecord(3, 2.5, samples), samples.data(), int(samples.size()), kCoefficient);
    EXPECT_NEAR(m.hesitation, 0.50 - 0.05 - 0.05, 0.006);

    // A record without pulses (results-only link): nothing is made up.
    m = MeasuresFromRecord(blowRecord(3, 2.5, samples), nullptr, 0, kCoefficient);
    EXPECT_TRUE(std::isnan(m.plateauVolume));
    EXPECT_TRUE(std::isnan(m.hesitation));
    // More pulses claimed than stored: only the stored ones are read.
    ManeuverResult r = blowRecord(3, 2.5, samples);
    r.ExpCount = 1000000;
    m = MeasuresFromRecord(r, samples.data(), 5, kCoefficient);
    EXPECT_TRUE(std::isnan(m.plateauVolume)); // 5 pulses span less than a second
}

class StoredSessionsTest : public ::testing::Test {
protected:
    void SetUp() override { QDir().mkpath(AppPaths::PatientCaseFolder(1)); }

    void writeFile(int number, const ManeuverResult& record, const PulseStream& samples, const QString& time)
    {
        WriteSessionFile(1, number, record, samples, time);
    }
    void store(Database& db, int number, const ManeuverResult& record, const PulseStream& samples,
               const QString& time, const SessionPlace& place)
    {
        StoreSessionBlow(db, 1, number, record, samples, time, place);
    }
    TempHome home;
};

// The tables as databases from before sessions hold them.
void createOldDatabase(const QString& path)
{
    {
        QSqlDatabase old = QSqlDatabase::addDatabase("QSQLITE", "old");
        old.setDatabaseName(path);
        ASSERT_TRUE(old.open());
        QSqlQuery q(old);
        for (const char* sql :
             {"CREATE TABLE UserInfo (ID INTEGER PRIMARY KEY, ptID TEXT, LastName TEXT, FirstName TEXT, "
              "Gender INTEGER, Birthdate DATE, Height INTEGER, Weight INTEGER, Nation INTEGER, Smoke INTEGER, "
              "Address TEXT, Postalcode TEXT, City TEXT, Job TEXT, UserPassWord TEXT, PassWordFlag INTEGER, "
              "Standard INTEGER)",
              "CREATE TABLE CaseInfo (ID INTEGER NOT NULL, DataName TEXT NOT NULL, TestTime DATETIME, FVC FLOAT, "
              "PEF FLOAT, FEV1 FLOAT, MVV FLOAT, VC FLOAT, Duration INTEGER, TestType INTEGER, UNIQUE (ID, DataName))",
              "CREATE TABLE Race (ID INTEGER PRIMARY KEY AUTOINCREMENT, Nation TEXT)",
              "CREATE TABLE Nation (nNation INTEGER, ParamName INTEGER, Multiply DOUBLE, Additive DOUBLE)",
              "CREATE TABLE ParamName (ParamName TEXT)",
              "CREATE TABLE Predict (Type INTEGER, Gender INTEGER, Age_lower_limit INTEGER, "
              "Age_upper_limit INTEGER, \"FEV1/FVC\" INTEGER, Param_Constant DOUBLE, "
              "Param_Hight DOUBLE, Param_Age DOUBLE, Param_Age_Age DOUBLE, "
              "Param_Height_Height DOUBLE, Param_Surface DOUBLE)",
              "INSERT INTO UserInfo (ID, LastName, Gender, Birthdate, Height, Standard) "
              "VALUES (1, 'Old', 0, '1980-05-01', 175, 0)",
              "INSERT INTO CaseInfo VALUES (1, '3.dt', '2025-02-03 10:00:00', 4.1, 9.0, 3.3, 0, 4.1, 6, 0)",
              "INSERT INTO CaseInfo VALUES (1, '4.dt', '2025-02-03 10:05:00', 4.0, 8.8, 3.2, 0, 4.0, 6, 0)",
              "INSERT INTO CaseInfo VALUES (1, '9.dt', '2025-03-01 09:00:00', 2.0, 0, 0, 0, 2.0, 0, 1)"})
            ASSERT_TRUE(q.exec(sql)) << sql;
    }
    QSqlDatabase::removeDatabase("old");
}

TEST_F(StoredSessionsTest, AnOldDatabaseIsUpgradedAndShowsTheSameDays)
{
    const QString path = home.path("data.mdb");
    createOldDatabase(path);
    const PulseStream samples = blowPulses(true);
    writeFile(3, blowRecord(4.1f, 3.3f, samples), samples, "2025-02-03 10:00:00");
    writeFile(4, blowRecord(4.0f, 3.2f, samples), samples, "2025-02-03 10:05:00");

    Database db;
    ASSERT_TRUE(db.Open(path)) << db.LastError().toStdString();
    EXPECT_EQ(TestDays(db, 1), QStringList({"2025-03-01", "2025-02-03"}));
    const CaseRowList rows = DayTestsOfKind(db, 1, kTestFvc, "2025-02-03");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_FLOAT_EQ(rows[0].FVC, 4.1f);
    EXPECT_FLOAT_EQ(rows[1].FEV1, 3.2f);

    // Each old row is a session of one manoeuvre, phase pre, keyed by its own file.
    QSqlQuery q(db.Connection());
    ASSERT_TRUE(q.exec("SELECT DataName, Session, Maneuver, Phase FROM CaseInfo ORDER BY DataName"));
    int n = 0;
    while (q.next()) {
        EXPECT_EQ(q.value(1).toInt(), TestFileNumber(q.value(0).toString()));
        EXPECT_EQ(q.value(2).toInt(), 1);
        EXPECT_EQ(q.value(3).toInt(), kPhasePre);
        ++n;
    }
    EXPECT_EQ(n, 3);
    ASSERT_TRUE(q.exec("SELECT Ethnic FROM UserInfo WHERE ID = 1"));
    ASSERT_TRUE(q.next());
    EXPECT_TRUE(q.value(0).isNull()); // not chosen yet

    const std::vector<StoredSession> sessions = LoadDaySessions(db, 1, "2025-02-03", 44);
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0].session, 3);
    EXPECT_EQ(sessions[1].maneuvers.size(), 1u);
    EXPECT_EQ(sessions[0].assessment.fvcGrade.grade, 'E'); // one acceptable blow

    // Opening again changes nothing; a second connection sees it done.
    db.Close();
    Database again;
    ASSERT_TRUE(again.Open(path));
    EXPECT_TRUE(UpgradeSchema(again, nullptr));
    EXPECT_EQ(DayTestsOfKind(again, 1, kTestFvc, "2025-02-03").size(), 2u);
}

TEST_F(StoredSessionsTest, RowsGroupIntoGradedSessionsOfEachPhase)
{
    Database db;
    ASSERT_TRUE(db.Open(home.path("data.mdb"))) << db.LastError().toStdString();
    const PulseStream good = blowPulses(true);
    const PulseStream early = blowPulses(false);
    // Session 5, pre: three blows, stored out of order to show the manoeuvre number decides.
    store(db, 7, blowRecord(4.05f, 3.28f, good), good, "2025-04-02 10:00:30", {5, 3, kPhasePre});
    store(db, 5, blowRecord(4.10f, 3.30f, good), good, "2025-04-02 10:00:10", {5, 1, kPhasePre});
    store(db, 6, blowRecord(4.00f, 3.25f, good), good, "2025-04-02 10:00:20", {5, 2, kPhasePre});
    // Session 8, post: a poor start and an early stop.
    store(db, 8, blowRecord(4.3f, 3.7f, good, 400), good, "2025-04-02 10:20:00", {8, 1, kPhasePost});
    store(db, 9, blowRecord(3.9f, 3.6f, early), early, "2025-04-02 10:20:30", {8, 2, kPhasePost});
    // A row whose file is gone, and another day.
    ASSERT_TRUE(RegisterTest(db, 1, "10.dt", "2025-04-02 10:21:00", blowRecord(4, 3, good), kTestFvc, {8, 3, 1}));
    store(db, 11, blowRecord(4.0f, 3.0f, good), good, "2025-04-03 09:00:00", {11, 1, kPhasePre});

    const std::vector<StoredSession> sessions = LoadDaySessions(db, 1, "2025-04-02", 44);
    ASSERT_EQ(sessions.size(), 2u);
    const StoredSession& pre = sessions[0];
    EXPECT_EQ(pre.phase, kPhasePre);
    ASSERT_EQ(pre.maneuvers.size(), 3u);
    EXPECT_EQ(pre.maneuvers[0].dataName, "5.dt");
    EXPECT_EQ(pre.maneuvers[2].dataName, "7.dt");
    EXPECT_EQ(pre.assessment.fev1Grade.grade, 'A');
    EXPECT_EQ(pre.assessment.fvcGrade.grade, 'A');
    EXPECT_NEAR(pre.assessment.fvc.value, 4.10, 1e-6);

    const StoredSession& post = sessions[1];
    EXPECT_EQ(post.phase, kPhasePost);
    ASSERT_EQ(post.maneuvers.size(), 2u); // 10.dt has no file
    // 0.400 L back-extrapolated spoils the first; the second has no plateau and
    // falls short of the 4.3 L blown before it: one acceptable FEV1, FVC usable only.
    EXPECT_EQ(post.assessment.fev1Grade.grade, 'E');
    EXPECT_EQ(post.assessment.fvcGrade.grade, 'U');

    EXPECT_TRUE(LoadDaySessions(db, 1, "2025-04-04", 44).empty());
    EXPECT_TRUE(LoadDaySessions(db, 1, "not a day", 44).empty());
}

// What the day-result model reads besides the blows: each session's stored
// reference set, BTPS and bronchodilator details, and each test's own.
TEST_F(StoredSessionsTest, SessionsAndTestsCarryTheirStoredSetBtpsAndDetails)
{
    Database db;
    ASSERT_TRUE(db.Open(home.path("data.mdb"))) << db.LastError().toStdString();
    const PulseStream good = blowPulses(true);
    const TestBasis gli{4, "2022", 1};
    store(db, 5, blowRecord(3.1f, 1.5f, good), good, "2025-04-02 10:00:10", {5, 1, kPhasePre, gli});
    store(db, 6, blowRecord(3.0f, 1.4f, good), good, "2025-04-02 10:00:20", {5, 2, kPhasePre, gli});
    // The post session after the set changed and BTPS was switched off: it says so.
    store(db, 8, blowRecord(3.6f, 2.4f, good), good, "2025-04-02 10:30:00", {8, 1, kPhasePost, {3, "2012", 0}});
    // A row from before anything was kept.
    store(db, 9, blowRecord(3.5f, 2.3f, good), good, "2025-04-02 11:00:00", {9, 1, kPhasePre});
    SessionDetail detail;
    detail.drug = "Salbutamol";
    detail.dose = "400 µg";
    detail.doseTime = QDateTime(QDate(2025, 4, 2), QTime(10, 10));
    detail.referrer = "Dr. Park";
    ASSERT_TRUE(SaveSessionDetail(db, 1, 8, detail));

    const std::vector<StoredSession> sessions = LoadDaySessions(db, 1, "2025-04-02", 44);
    ASSERT_EQ(sessions.size(), 3u);
    EXPECT_EQ(sessions[0].standard, 4);
    EXPECT_EQ(sessions[0].setVersion, "2022");
    EXPECT_EQ(sessions[0].btps, 1);
    EXPECT_TRUE(sessions[0].drug.isEmpty());
    EXPECT_FALSE(sessions[0].doseTime.isValid());
    EXPECT_EQ(sessions[1].standard, 3);
    EXPECT_EQ(sessions[1].setVersion, "2012");
    EXPECT_EQ(sessions[1].btps, 0);
    EXPECT_EQ(sessions[1].drug, "Salbutamol");
    EXPECT_EQ(sessions[1].dose, QString::fromUtf8("400 µg"));
    EXPECT_EQ(sessions[1].doseTime, detail.doseTime);
    EXPECT_EQ(sessions[1].referrer, "Dr. Park");
    EXPECT_EQ(sessions[2].standard, -1);
    EXPECT_TRUE(sessions[2].setVersion.isEmpty());
    EXPECT_EQ(sessions[2].btps, -1);

    const DayTestList tests = LoadDayTestFiles(db, 1, "2025-04-02", kTestFvc);
    ASSERT_EQ(tests.size(), 4u);
    EXPECT_EQ(tests[0].standard, 4);
    EXPECT_EQ(tests[2].setVersion, "2012");
    EXPECT_EQ(tests[2].btps, 0);
    EXPECT_EQ(tests[3].btps, -1);
}

} // namespace
