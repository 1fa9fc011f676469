// The records on a shared PostgreSQL server: connection URIs, the server's
// schema and date functions, the store of test and diagnosis bytes on both
// engines, and several workstations writing at once.
#include "support/pg_server.h"
#include "support/temp_home.h"
#include "support/watchdog.h"

#include "core/app/app_paths.h"
#include "core/exchange/csv_export.h"
#include "core/exchange/csv_patient_import.h"
#include "core/exchange/csv_table.h"
#include "core/records/case_file_store.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/database_location.h"
#include "core/records/diagnosis.h"
#include "core/records/patient_numbers.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"

#include <QSet>

#include <csignal>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <thread>

namespace {

QString serverDatabase()
{
    const QString uri = PgTestServer::Shared().NewDatabase();
    EXPECT_FALSE(uri.isEmpty()) << PgTestServer::Shared().Error().toStdString();
    return uri;
}

} // namespace

TEST(DatabaseLocation, ClinicUrisAreTakenApart)
{
    DatabaseLocation where;
    QString error;
    ASSERT_TRUE(ParseDatabaseLocation(
        "postgresql://lab@db.clinic.local:6432/spiro?sslmode=verify-full", where, &error))
        << error.toStdString();
    EXPECT_TRUE(where.server);
    EXPECT_EQ(where.host, "db.clinic.local");
    EXPECT_EQ(where.port, 6432);
    EXPECT_EQ(where.name, "spiro");
    EXPECT_EQ(where.user, "lab");
    EXPECT_TRUE(where.password.isEmpty());
    EXPECT_TRUE(where.options.split(';').contains("sslmode=verify-full"));

    ASSERT_TRUE(ParseDatabaseLocation(
        "postgres:///tav?host=%2Fvar%2Frun%2Fpostgresql&user=a%40b&port=5433", where, &error));
    EXPECT_EQ(where.host, "/var/run/postgresql");
    EXPECT_EQ(where.user, "a@b");
    EXPECT_EQ(where.port, 5433);

    ASSERT_TRUE(ParseDatabaseLocation("/srv/tav/data.mdb", where, &error));
    EXPECT_FALSE(where.server);
    EXPECT_EQ(where.file, "/srv/tav/data.mdb");
}

TEST(DatabaseLocation, MalformedUrisAreRefusedWithAReason)
{
    for (const char* bad : {"postgresql://host:5432/", "postgresql://host:x/db",
                            "postgresql://host:70000/db", "postgresql://host/db?colour=blue",
                            "postgresql://host/db?sslmode=require;host=evil",
                            "postgresql:///db?port=abc"}) {
        DatabaseLocation where;
        QString error;
        EXPECT_FALSE(ParseDatabaseLocation(bad, where, &error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
    }
}

TEST(DatabaseLocation, CommandLineBeatsSettingsBeatsTheLocalFile)
{
    QString target, error;
    ASSERT_TRUE(ChooseDatabase("postgresql://a@h/one", "postgresql://b@h/two", "/x/data.mdb",
                               target, &error));
    EXPECT_EQ(target, "postgresql://a@h/one");
    ASSERT_TRUE(ChooseDatabase("", "postgresql://b@h/two", "/x/data.mdb", target, &error));
    EXPECT_EQ(target, "postgresql://b@h/two");
    ASSERT_TRUE(ChooseDatabase(" ", "", "/x/data.mdb", target, &error));
    EXPECT_EQ(target, "/x/data.mdb");
}

TEST(DatabaseLocation, NeitherSettingsNorTheCommandLineHoldAPassword)
{
    QString target = "unchanged", error;
    EXPECT_FALSE(ChooseDatabase("", "postgresql://lab:secret@h/spiro", "/x/data.mdb", target,
                                &error));
    EXPECT_TRUE(error.contains("password"));
    EXPECT_EQ(target, "unchanged");
    // Nor the command line, which every user of the computer sees; the
    // refusal never prints the password back.
    EXPECT_FALSE(ChooseDatabase("postgresql://lab:secret@h/spiro", "", "/x/data.mdb", target,
                                &error));
    EXPECT_TRUE(error.contains("password") && !error.contains("secret")) << error.toStdString();
    EXPECT_EQ(target, "unchanged");
    EXPECT_FALSE(ChooseDatabase("", "/elsewhere/data.mdb", "/x/data.mdb", target, &error));

    DatabaseLocation where;
    ASSERT_TRUE(ParseDatabaseLocation("postgresql://lab:secret@h:5432/spiro", where, &error));
    EXPECT_EQ(where.password, "secret");
    EXPECT_FALSE(where.Display().contains("secret"));
}

// The same statements on both engines give the same answers. (The database,
// records and patient-list suites run against the server as a whole too.)
class BothEngines : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        const QString where = GetParam() ? serverDatabase() : home.path("data.mdb");
        ASSERT_FALSE(where.isEmpty());
        ASSERT_TRUE(db.Open(where, Database::kPassword)) << db.LastError().toStdString();
        ASSERT_EQ(db.IsServer(), GetParam());
    }

    QVariantList row(const QString& sql, const QVariantList& values)
    {
        QSqlQuery query(db.Connection());
        query.prepare(sql);
        for (const QVariant& value : values)
            query.addBindValue(value);
        EXPECT_TRUE(query.exec()) << query.lastError().text().toStdString();
        QVariantList out;
        if (query.next()) {
            for (int i = 0; i < query.record().count(); ++i)
                out << query.value(i);
        }
        return out;
    }

    TempHome home;
    Database db;
};

TEST_P(BothEngines, DayPartsOfStoredTimes)
{
    struct Case {
        const char* text;
        QVariant year, month, day;
    };
    const Case cases[] = {
        {"2026-03-04 10:20:30", 2026, 3, 4},
        {"2026-3-4", 2026, 3, 4},
        {"  1999-12-31", 1999, 12, 31},
        {"junk", QVariant(), QVariant(), QVariant()},
        {"", QVariant(), QVariant(), QVariant()},
        {"2026-03", QVariant(), QVariant(), QVariant()},
    };
    for (const Case& c : cases) {
        const QVariantList parts =
            row("SELECT YEAR(?) AS y, MONTH(?) AS m, DAY(?) AS d", {c.text, c.text, c.text});
        ASSERT_EQ(parts.size(), 3) << c.text;
        EXPECT_EQ(parts[0].isNull(), c.year.isNull()) << c.text;
        EXPECT_EQ(parts[0].toInt(), c.year.toInt()) << c.text;
        EXPECT_EQ(parts[1].toInt(), c.month.toInt()) << c.text;
        EXPECT_EQ(parts[2].toInt(), c.day.toInt()) << c.text;
    }
}

TEST_P(BothEngines, StoredFilesAreCreatedOnceAndNamedSafely)
{
    CaseFileStore& files = db.Files();
    EXPECT_EQ(files.InDatabase(), GetParam());
    ASSERT_TRUE(files.Create(3, "1.dt", "first")) << files.LastError().toStdString();
    EXPECT_FALSE(files.Create(3, "1.dt", "second"));
    EXPECT_TRUE(files.Taken());
    QByteArray bytes;
    ASSERT_TRUE(files.Read(3, "1.dt", bytes));
    EXPECT_EQ(bytes, "first");

    ASSERT_TRUE(files.Write(3, "2026-03-04.dia", QByteArray(650, 'x')));
    ASSERT_TRUE(files.Write(3, "2026-03-04.dia", QByteArray("\0\1\2", 3)));
    ASSERT_TRUE(files.Read(3, "2026-03-04.dia", bytes));
    EXPECT_EQ(bytes, QByteArray("\0\1\2", 3));

    QStringList names = files.Names(3);
    names.sort();
    EXPECT_EQ(names, QStringList({"1.dt", "2026-03-04.dia"}));
    EXPECT_EQ(files.CaseIds(), QList<int>{3});

    for (const char* hostile : {"../1.dt", "1.dt/../../x.dt", "a.dt", "", "1.dt.exe", "/etc/x"}) {
        EXPECT_FALSE(files.Create(3, hostile, "x")) << hostile;
        EXPECT_FALSE(files.Write(3, hostile, "x")) << hostile;
    }
    EXPECT_FALSE(files.Create(0, "2.dt", "no patient"));
    EXPECT_EQ(files.Names(3).size(), 2);

    EXPECT_TRUE(files.Remove(3, "1.dt"));
    EXPECT_FALSE(files.Exists(3, "1.dt"));
    EXPECT_FALSE(files.Read(3, "1.dt", bytes));
    EXPECT_TRUE(files.RemoveCase(3));
    EXPECT_TRUE(files.Names(3).isEmpty());
}

TEST_P(BothEngines, ASessionIsKeptWithItsRowsOrNotAtAll)
{
    const int id = 5;
    // A row left from lost test data holds its name.
    ASSERT_TRUE(db.Execute("insert into CaseInfo(ID, DataName, TestTime) values(?, ?, ?)",
                           {id, "2.dt", "2026-03-04 10:30:00"}));
    const std::unique_ptr<TestStore> tests =
        PatientTestStore(db, id, AppPaths::PatientCaseFolder(id));
    QString error;
    SaveResult result;
    result.testTime = "2026-03-04 10:20:30";
    result.header.testType = kTestFvc;
    result.record.FVC = 4.5f;
    const auto rows = [&] {
        return row("SELECT count(*) FROM CaseInfo WHERE ID = ?", {id}).value(0).toInt();
    };
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        result.dataName = name;
        return tests->Write(result, bytes, error);
    };
    for (const bool keep : {false, true}) {
        ASSERT_TRUE(tests->BeginSession(error)) << error.toStdString();
        ASSERT_EQ(tests->NextNumber(0, error), 1) << error.toStdString();
        ASSERT_EQ(write("1.dt", "first test"), TestWrite::Saved) << error.toStdString();
        // A second test under the same number, or the name a lost row holds:
        // nothing of it stays, and the session goes on.
        EXPECT_EQ(write("1.dt", "second test"), TestWrite::NameTaken);
        EXPECT_EQ(write("2.dt", "orphan"), TestWrite::NameTaken);
        EXPECT_FALSE(db.Files().Exists(id, "2.dt"));
        ASSERT_EQ(write("3.dt", "third test"), TestWrite::Saved) << error.toStdString();
        ASSERT_TRUE(tests->EndSession(keep, error)) << error.toStdString();
        EXPECT_EQ(db.Files().Exists(id, "1.dt"), keep);
        EXPECT_EQ(db.Files().Exists(id, "3.dt"), keep);
        EXPECT_EQ(rows(), keep ? 3 : 1);
    }
    QByteArray bytes;
    ASSERT_TRUE(db.Files().Read(id, "1.dt", bytes));
    EXPECT_EQ(bytes, "first test");
}

TEST_P(BothEngines, ADiagnosisKeepsItsTextAndTheTimeItWasWritten)
{
    const int id = 4;
    DiagnosisRecord record;
    QString error;
    ASSERT_EQ(ConfirmDiagnosis("Dr. Li", "Mild obstruction", QDateTime(QDate(2026, 3, 4), QTime(9, 0)),
                               db, id, "2026-03-04", record, &error),
              DiagnosisSave::Saved)
        << error.toStdString();
    DiagnosisRecord read;
    LoadDiagnosis(db, id, "2026-03-04", read);
    EXPECT_EQ(read.Physician, "Dr. Li");
    EXPECT_EQ(read.Result, "Mild obstruction");
    EXPECT_TRUE(db.Files().Written(id, "2026-03-04.dia").isValid());
    // A copy keeps the time of its original (to the second, as a file's time is shown).
    const QDateTime original(QDate(2025, 11, 2), QTime(16, 45, 10));
    ASSERT_TRUE(db.Files().Write(id, "2025-11-02.dia", DiagnosisBytes(read), original));
    EXPECT_EQ(db.Files().Written(id, "2025-11-02.dia").toSecsSinceEpoch(),
              original.toSecsSinceEpoch());
    EXPECT_FALSE(db.Files().Written(id, "2024-01-01.dia").isValid());

    // Too long a text changes nothing; both texts empty remove the diagnosis.
    EXPECT_EQ(ConfirmDiagnosis(QString(50, 'p'), "x", QDateTime(), db, id, "2026-03-04", record),
              DiagnosisSave::PhysicianTooLong);
    LoadDiagnosis(db, id, "2026-03-04", read);
    EXPECT_EQ(read.Physician, "Dr. Li");
    EXPECT_EQ(ConfirmDiagnosis("", "", QDateTime(), db, id, "2026-03-04", record),
              DiagnosisSave::Saved);
    EXPECT_FALSE(db.Files().Exists(id, "2026-03-04.dia"));
}

// A worker (the live test's save) opens the same records on its own
// connection; what it writes is there for the interface thread's one.
TEST_P(BothEngines, AWorkerOpensTheSameRecordsOnItsOwnConnection)
{
    const int id = 900000 + int(QDateTime::currentMSecsSinceEpoch() % 90000);
    bool opened = false, written = false;
    QString identity;
    std::thread worker([&] {
        Database mine;
        opened = mine.OpenSame(db);
        identity = mine.Identity();
        written = opened && mine.Execute("insert into UserInfo(ID, ptID, LastName, Gender) "
                                         "values(?, ?, 'Worker', 0)",
                                         {id, QString::number(id)});
    });
    worker.join();
    ASSERT_TRUE(opened);
    EXPECT_EQ(identity, db.Identity());
    EXPECT_TRUE(written);
    EXPECT_EQ(row("SELECT LastName FROM UserInfo WHERE ID = ?", {id}).value(0).toString(), "Worker");
    db.Execute("DELETE FROM UserInfo WHERE ID = ?", {id});

    Database closed, copy;
    EXPECT_FALSE(copy.OpenSame(closed)) << "nothing to open the same of";
}

INSTANTIATE_TEST_SUITE_P(Engines, BothEngines, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Server" : "File"; });

// Two workstations opening the database at the same moment: both succeed.
static void openTwiceAtOnce(const QString& uri)
{
    bool opened[2] = {false, false};
    std::thread first([&] { Database db; opened[0] = db.Open(uri); });
    std::thread second([&] { Database db; opened[1] = db.Open(uri); });
    first.join();
    second.join();
    EXPECT_TRUE(opened[0]);
    EXPECT_TRUE(opened[1]);
}

TEST(SharedServer, APartlyMadeDatabaseOrOneWithoutAColumnInUseIsRefused)
{
    for (const auto& [damage, named] : {std::pair{"DROP TABLE Predict", "predict"},
                                        std::pair{"ALTER TABLE UserInfo DROP COLUMN Smoke", "Smoke"}}) {
        const QString uri = serverDatabase();
        {
            Database db;
            ASSERT_TRUE(db.Open(uri));
            ASSERT_TRUE(db.Execute(damage));
        }
        Database again;
        EXPECT_FALSE(again.Open(uri)) << damage;
        EXPECT_TRUE(again.LastError().contains(named, Qt::CaseInsensitive)) << again.LastError().toStdString();
        EXPECT_FALSE(again.IsOpen());
    }
}

TEST(SharedServer, WorkstationsStartingTogetherSeedTheDatabaseOnce)
{
    const QString uri = serverDatabase();
    openTwiceAtOnce(uri);
    Database db;
    ASSERT_TRUE(db.Open(uri));
    Recordset rs(db);
    rs.Open("SELECT * FROM Race");
    EXPECT_EQ(rs.GetRecordCount(), 10);
}

// One workstation registers patients while another imports a patient list:
// every key a race took is retried in a fresh transaction, nothing is lost.
TEST(SharedServer, PatientsRegisteredAtOnceGetDistinctKeys)
{
    const QString uri = serverDatabase();
    constexpr int kEach = 60;
    std::vector<int> ids[2];
    auto registerMany = [&] {
        Database db;
        if (!db.Open(uri))
            return;
        for (int i = 0; i < kEach; ++i) {
            PatientRecord record;
            record.Name = QString("P%1").arg(i);
            record.Birthdate = QDate(1980, 1, 1);
            ids[0].push_back(CreatePatient(db, record));
        }
    };
    auto importMany = [&] {
        Database db;
        QByteArray csv = CsvRecord(CsvPatientColumns());
        for (int i = 0; i < kEach; ++i)
            csv += CsvRecord({QString("L%1").arg(i), QString("Listed %1").arg(i), "female",
                              "1980-01-01", "170", "60", "", ""});
        CsvImportReport report;
        if (!db.Open(uri) || !ImportPatientsCsv(db, csv, report))
            return;
        for (const CsvImportRow& row : report.taken)
            ids[1].push_back(row.patientId);
    };
    std::thread first(registerMany);
    std::thread second(importMany);
    first.join();
    second.join();

    QSet<int> distinct;
    for (const auto& list : ids) {
        ASSERT_EQ(list.size(), size_t(kEach));
        for (int id : list) {
            EXPECT_GT(id, 0);
            distinct.insert(id);
        }
    }
    EXPECT_EQ(distinct.size(), 2 * kEach);
    Database db;
    ASSERT_TRUE(db.Open(uri));
    QSqlQuery query(db.Connection());
    ASSERT_TRUE(query.exec("SELECT count(*), count(DISTINCT ID), count(DISTINCT ptID) FROM UserInfo"));
    ASSERT_TRUE(query.next());
    EXPECT_EQ(query.value(0).toInt(), 2 * kEach);
    EXPECT_EQ(query.value(1).toInt(), 2 * kEach);
    EXPECT_EQ(query.value(2).toInt(), 2 * kEach);
}

// A server restarted under an open connection costs the next save nothing
// (the connection is opened again); a server that stops answering is told
// within the statement limit, and the connection works again once it answers.
TEST(SharedServer, ARestartedOrStalledServerIsOutlivedOrToldInTime)
{
    const QString uri = serverDatabase() + "&statement_timeout=2&connect_timeout=2";
    Database db;
    ASSERT_TRUE(db.Open(uri)) << db.LastError().toStdString();
    PatientRecord patient;
    patient.Name = "Before";
    patient.Birthdate = QDate(1980, 1, 1);
    ASSERT_GT(CreatePatient(db, patient), 0);

    ASSERT_TRUE(PgTestServer::Shared().Restart()) << PgTestServer::Shared().Error().toStdString();
    patient.Name = "After a restart";
    EXPECT_GT(CreatePatient(db, patient), 0) << db.LastError().toStdString();

    Recordset backend(db);
    int backendPid = 0;
    ASSERT_TRUE(backend.Open("SELECT pg_backend_pid() AS pid") &&
                backend.GetFieldValue("pid", backendPid));
    const pid_t stalled[] = {pid_t(backendPid), pid_t(PgTestServer::Shared().PostmasterPid())};
    for (pid_t pid : stalled)
        ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    {
        Watchdog watchdog("a save to a stalled server", 30000);
        patient.Name = "While stalled";
        EXPECT_EQ(CreatePatient(db, patient), 0);
    }
    const QString error = db.LastError();
    for (pid_t pid : stalled)
        ::kill(pid, SIGCONT);
    EXPECT_TRUE(error.contains("did not answer within 2 s")) << error.toStdString();
    EXPECT_FALSE(error.contains("password"));
    patient.Name = "Answering again";
    EXPECT_GT(CreatePatient(db, patient), 0) << db.LastError().toStdString();
    Recordset rows(db);
    int count = 0;
    ASSERT_TRUE(rows.Open("SELECT count(*) AS n FROM UserInfo") && rows.GetFieldValue("n", count));
    EXPECT_EQ(count, 3);
}

TEST(SharedServer, AnEarlierServerDatabaseGainsSessionsAndTheNumberRule)
{
    const QString uri = serverDatabase();
    {
        Database db;
        ASSERT_TRUE(db.Open(uri));
        for (const char* sql :
             {"ALTER TABLE CaseInfo DROP COLUMN Session", "ALTER TABLE CaseInfo DROP COLUMN Maneuver",
              "ALTER TABLE CaseInfo DROP COLUMN Phase", "ALTER TABLE UserInfo DROP COLUMN Ethnic",
              "DROP INDEX UserInfo_ptID_unique", "DROP INDEX UserInfo_Height"})
            ASSERT_TRUE(db.Execute(sql)) << sql << ": " << db.LastError().toStdString();
        ASSERT_TRUE(db.Execute("insert into CaseInfo(ID, DataName, TestTime) values(1, '7.dt', "
                               "'2026-03-04 10:00:00')"));
        ASSERT_FALSE(PatientNumbersEnforced(db));
    }
    // Two workstations opening it at once upgrade it once.
    openTwiceAtOnce(uri);
    Database db;
    ASSERT_TRUE(db.Open(uri)) << db.LastError().toStdString();
    QSqlQuery query(db.Connection());
    ASSERT_TRUE(query.exec("SELECT Session, Maneuver, Phase FROM CaseInfo WHERE DataName = '7.dt'"));
    ASSERT_TRUE(query.next());
    EXPECT_EQ(query.value(0).toInt(), 7);
    EXPECT_EQ(query.value(1).toInt(), 1);
    EXPECT_EQ(query.value(2).toInt(), 0);
    EXPECT_TRUE(db.ColumnNames("UserInfo").contains("ethnic"));
    EXPECT_TRUE(PatientNumbersEnforced(db));
}
