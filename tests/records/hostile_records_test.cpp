// The records layer against a damaged database, a full disk, a read-only
// folder and a second program registering patients at the same time.
#include "records_fixture.h"

#include "core/measure/test_record.h"
#include "core/records/diagnosis.h"
#include "core/records/patient_record.h"
#include "core/records/predicted_values.h"
#include "support/full_disk.h"


#include <sys/mount.h>
#include <sys/stat.h>

#include <atomic>
#include <cmath>
#include <set>
#include <thread>
#include <tuple>

namespace {

// A table or a column in use missing, on either engine: refused with its name, and a file left as it was.
TEST_F(RecordsTest, ADatabaseWithoutATableOrColumnInUseIsRefusedUntouched)
{
    db.Close();
    const QString second =
        TestsUseServer() ? PgTestServer::Shared().NewDatabase() : home.path("second.mdb");
    for (const auto& [where, damage, named] :
         {std::tuple{location, "ALTER TABLE UserInfo DROP COLUMN Smoke", "Smoke"},
          std::tuple{second, "DROP TABLE Predict", "Predict"}}) {
        Database damaged;
        ASSERT_TRUE(damaged.Open(where));
        ASSERT_TRUE(damaged.Execute(damage)) << damaged.LastError().toStdString();
        damaged.Close();
        const QByteArray before = home.read(where);
        EXPECT_FALSE(damaged.Open(where)) << damage;
        EXPECT_TRUE(damaged.LastError().contains(named, Qt::CaseInsensitive))
            << damaged.LastError().toStdString();
        EXPECT_FALSE(damaged.IsOpen());
        EXPECT_EQ(home.read(where), before);
    }
}

TEST_F(RecordsTest, ImpossibleStoredNumbersReadAsFailuresNotAsWrappedValues)
{
    ASSERT_TRUE(db.Execute("insert into UserInfo(ID, LastName, FirstName, Gender, Birthdate, "
                           "Height, Weight, Nation, Standard) values(1, 'A', 'A', 0, "
                           "'1980-01-01', 10000000000, 1e999, 1, 0)"));
    ASSERT_TRUE(db.Execute("insert into CaseInfo(ID, DataName, TestTime, FVC, PEF, Duration) "
                           "values(1, '1.dt', '2026-01-01 10:00:00', -1e999, 3e38, 1e300)"));
    Recordset rs(db);
    ASSERT_TRUE(rs.Open("SELECT * FROM UserInfo WHERE ID = 1"));
    int height = -1, weight = -1;
    EXPECT_FALSE(rs.GetFieldValue("Height", height));
    EXPECT_EQ(height, 0);
    EXPECT_FALSE(rs.GetFieldValue("Weight", weight));
    EXPECT_EQ(weight, 0);
    int gender = -1;
    EXPECT_TRUE(rs.GetFieldValue("Gender", gender)); // a sound value still reads
    EXPECT_EQ(gender, 0);

    Recordset cases(db);
    ASSERT_TRUE(cases.Open("SELECT * FROM CaseInfo"));
    float fvc = 1, pef = 1;
    double fvcWide = 1;
    int duration = -1;
    EXPECT_FALSE(cases.GetFieldValue("FVC", fvc));
    EXPECT_FALSE(cases.GetFieldValue("FVC", fvcWide));
    EXPECT_TRUE(cases.GetFieldValue("PEF", pef)); // 3e38 still fits a float
    EXPECT_FALSE(cases.GetFieldValue("Duration", duration));
    EXPECT_EQ(duration, 0);

    // Such a patient gets no predicted values rather than absurd ones.
    PatientRecord patient;
    ASSERT_TRUE(LoadPatient(db, 1, patient));
    EXPECT_EQ(patient.Height, 0);
    ManeuverResult predicted;
    ComputePredictedValues(db, predicted, patient);
    EXPECT_EQ(predicted.FVC, 0.0f);
    EXPECT_EQ(predicted.EVC, 0.0f);
    EXPECT_EQ(predicted.FEV1, 0.0f);
}

TEST_F(RecordsTest, ConcurrentRegistrationsWaitForEachOtherInsteadOfFailing)
{
    constexpr int kThreads = 2, kEach = 100;
    std::atomic<int> failures{0};
    std::vector<std::vector<int>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Database own; // one connection per thread, as two programs would have
            if (!own.Open(home.path("data.mdb"))) {
                failures += kEach;
                return;
            }
            for (int i = 0; i < kEach; ++i) {
                PatientRecord record;
                record.Name = QString("T%1-%2").arg(t).arg(i);
                record.Height = 170;
                record.Weight = 70;
                const int id = CreatePatient(own, record);
                if (id <= 0)
                    ++failures;
                else
                    ids[std::size_t(t)].push_back(id);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    std::set<int> distinct;
    for (const auto& list : ids)
        distinct.insert(list.begin(), list.end());
    EXPECT_EQ(distinct.size(), std::size_t(kThreads * kEach));
    EXPECT_EQ(count("SELECT ID FROM UserInfo"), kThreads * kEach);
}

TEST_F(RecordsTest, AFullDiskKeepsTheOldDiagnosisAndSaysSo)
{
    FullDisk disk;
    const QString path = DiagnosisFile(disk.Path(), "2026-03-04");
    DiagnosisRecord old;
    old.Physician = "Dr. Old";
    old.Result = "Normal";
    ASSERT_TRUE(SaveDiagnosis(path, old));
    disk.Fill();
    DiagnosisRecord changed;
    QString error;
    EXPECT_EQ(ConfirmDiagnosis("Dr. New", "Mild obstruction", QDateTime::currentDateTime(), path,
                               changed, &error),
              DiagnosisSave::NotWritten);
    disk.Free();
    EXPECT_FALSE(error.isEmpty());
    DiagnosisRecord read;
    LoadDiagnosis(path, read);
    EXPECT_EQ(read.Physician, "Dr. Old");
    EXPECT_EQ(read.Result, "Normal");
    EXPECT_EQ(QDir(disk.Path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
              QStringList{"2026-03-04.dia"});
}

TEST_F(RecordsTest, AFifoUnderADiagnosisNameReadsAsNoDiagnosis)
{
    const QString path = DiagnosisFile(home.path(), "2026-03-04");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    DiagnosisRecord record;
    record.Physician = "stale";
    LoadDiagnosis(path, record); // returns at once instead of waiting for a writer
    EXPECT_TRUE(record.Physician.isEmpty());
    // Nor is it replaced by a save.
    record.Physician = "Dr. New";
    QString error;
    EXPECT_FALSE(SaveDiagnosis(path, record, &error));
    EXPECT_TRUE(QFileInfo(path).exists() && !QFileInfo(path).isFile());
}

TEST(DatabaseOpen, AReadOnlyFolderGivesAReason)
{
    QTemporaryDir dir;
    const QByteArray where = QFile::encodeName(dir.path());
    if (::mount("tmpfs", where.constData(), "tmpfs", MS_RDONLY, "size=64k") != 0)
        GTEST_SKIP() << "a read-only file system cannot be mounted here ("
                     << std::strerror(errno) << "); root would write through permissions";
    Database db;
    const bool opened = db.Open(dir.path() + "/data.mdb");
    const QString error = db.LastError();
    ::umount2(where.constData(), MNT_DETACH);
    EXPECT_FALSE(opened);
    EXPECT_FALSE(error.trimmed().isEmpty());
}

} // namespace
