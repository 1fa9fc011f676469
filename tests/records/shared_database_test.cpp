// The records on a shared PostgreSQL server: connection URIs, and several
// workstations opening, upgrading and writing at once. (The database and
// records suites run against the server as a whole too.)
#include "support/data_table.h"
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

// Each row of database_locations.csv.
TEST(DatabaseLocation, UrisAreTakenApartOrRefusedWithAReason)
{
    for (const DataRow& row : ReadDataTable(RECORDS_DATA_DIR "/database_locations.csv")) {
        SCOPED_TRACE(row.line());
        DatabaseLocation where;
        QString error;
        const bool parsed = ParseDatabaseLocation(row["location"], where, &error);
        EXPECT_EQ(parsed, row["kind"] != "refused");
        EXPECT_EQ(error.isEmpty(), parsed) << error.toStdString();
        if (!parsed)
            continue;
        EXPECT_EQ(where.server, row["kind"] == "server");
        const QString actual[] = {where.host, QString::number(where.port), where.name, where.user,
                                  where.file};
        const char* columns[] = {"host", "port", "name", "user", "file"};
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE(row[columns[i]].isEmpty() || actual[i] == row[columns[i]]) << columns[i];
        EXPECT_TRUE(row["option"].isEmpty() || where.options.split(';').contains(row["option"]));
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
