// The records on a shared PostgreSQL server: connection URIs, and several
// workstations opening, upgrading and writing at once. (The database and
// records suites run against the server as a whole too.)
#include "support/pg_server.h"
#include "support/watchdog.h"

#include "core/exchange/csv_export.h"
#include "core/exchange/csv_patient_import.h"
#include "core/exchange/csv_table.h"
#include "core/records/database.h"
#include "core/records/database_location.h"
#include "core/records/patient_numbers.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"

#include <QSet>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace {

QString serverDatabase()
{
    const QString uri = PgTestServer::Shared().NewDatabase();
    EXPECT_FALSE(uri.isEmpty()) << PgTestServer::Shared().Error().toStdString();
    return uri;
}

} // namespace

TEST(DatabaseLocation, UrisAreTakenApartOrRefusedWithAReason)
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
    EXPECT_TRUE(where.options.split(';').contains("sslmode=verify-full"));
    ASSERT_TRUE(ParseDatabaseLocation(
        "postgres:///tav?host=%2Fvar%2Frun%2Fpostgresql&user=a%40b&port=5433", where, &error));
    EXPECT_EQ(where.host, "/var/run/postgresql");
    EXPECT_EQ(where.user, "a@b");
    EXPECT_EQ(where.port, 5433);
    ASSERT_TRUE(ParseDatabaseLocation("/srv/tav/data.mdb", where, &error));
    EXPECT_FALSE(where.server);
    EXPECT_EQ(where.file, "/srv/tav/data.mdb");

    for (const char* bad : {"postgresql://host:5432/", "postgresql://host:x/db",
                            "postgresql://host:70000/db", "postgresql://host/db?colour=blue",
                            "postgresql://host/db?sslmode=require;host=evil",
                            "postgresql:///db?port=abc"}) {
        error.clear();
        EXPECT_FALSE(ParseDatabaseLocation(bad, where, &error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
    }
}

// The command line beats the settings, which beat the local file; neither
// may carry a password, and the refusal never prints it back.
TEST(DatabaseLocation, ChoiceOrderAndNoPasswordInSettingsOrOnTheCommandLine)
{
    QString target, error;
    ASSERT_TRUE(ChooseDatabase("postgresql://a@h/one", "postgresql://b@h/two", "/x/data.mdb",
                               target, &error));
    EXPECT_EQ(target, "postgresql://a@h/one");
    ASSERT_TRUE(ChooseDatabase("", "postgresql://b@h/two", "/x/data.mdb", target, &error));
    EXPECT_EQ(target, "postgresql://b@h/two");
    ASSERT_TRUE(ChooseDatabase(" ", "", "/x/data.mdb", target, &error));
    EXPECT_EQ(target, "/x/data.mdb");

    target = "unchanged";
    for (const auto& [given, setting] : {std::pair{"", "postgresql://lab:secret@h/spiro"},
                                         std::pair{"postgresql://lab:secret@h/spiro", ""}}) {
        EXPECT_FALSE(ChooseDatabase(given, setting, "/x/data.mdb", target, &error));
        EXPECT_TRUE(error.contains("password") && !error.contains("secret")) << error.toStdString();
        EXPECT_EQ(target, "unchanged");
    }
    EXPECT_FALSE(ChooseDatabase("", "/elsewhere/data.mdb", "/x/data.mdb", target, &error));
    DatabaseLocation where;
    ASSERT_TRUE(ParseDatabaseLocation("postgresql://lab:secret@h:5432/spiro", where, &error));
    EXPECT_EQ(where.password, "secret");
    EXPECT_FALSE(where.Display().contains("secret"));
}

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

TEST(SharedServer, WorkstationsStartingTogetherSeedANewDatabaseOnceAndUpgradeAnEarlierOnce)
{
    // Workstations starting together on a new database seed it once.
    const QString uri = serverDatabase();
    openTwiceAtOnce(uri);
    {
        Database db;
        ASSERT_TRUE(db.Open(uri));
        Recordset race(db);
        race.Open("SELECT * FROM Race");
        EXPECT_EQ(race.GetRecordCount(), 10);
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
