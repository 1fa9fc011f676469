// The case store: rows and files of stored tests kept in step.
#include "records_fixture.h"
#include "support/stored_tests.h"

#include "core/app/app_paths.h"
#include "core/measure/record_codec.h"
#include "core/records/patient_record.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

class CaseStore : public RecordsTest {
  protected:
    QString folder(int id) const { return AppPaths::PatientCaseFolder(id); }

    // Writes Case/<id>/<n>.dt and, when asked, its row as the writer registers it.
    void addTest(int id, int n, const QString& time, int kind,
                 const ManeuverResult& r = FvcRecord(4, 3, 8), bool row = true)
    {
        storeTest(id, n, time, kind, r, {}, row);
    }

    template <class List>
    static QStringList names(const List& tests)
    {
        QStringList out;
        for (const auto& t : tests)
            out << t.DataName;
        return out;
    }
};

TEST_F(CaseStore, RowsKeepTwoDecimalsAndListDaysAndKindsInOrder)
{
    ManeuverResult first = FvcRecord(4.567f, 3.211f, 9.999f);
    first.Duration = 7;
    addTest(1, 1, "2026-03-05 09:00:00", kTestFvc, first);
    addTest(1, 2, "2026-03-05 10:00:00", kTestVc);
    addTest(1, 3, "2026-03-05 08:00:00", kTestFvc);
    addTest(1, 4, "2026-01-20 23:59:59", kTestFvc);
    addTest(1, 5, "2026-01-21 00:00:01", kTestMvv);
    addTest(2, 1, "2026-04-01 08:00:00", kTestFvc);
    const CaseRowList all = TestsOfKind(db, 1, kTestFvc);
    EXPECT_EQ(names(all), QStringList({"1.dt", "3.dt", "4.dt"})); // newest first
    EXPECT_FLOAT_EQ(all[0].FVC, 4.57f);
    EXPECT_FLOAT_EQ(all[0].FEV1, 3.21f);
    EXPECT_FLOAT_EQ(all[0].PEF, 10.0f);
    EXPECT_EQ(all[0].Duration, 7);
    EXPECT_EQ(all[0].TestTime, "2026-03-05 09:00:00");
    EXPECT_EQ(names(DayTestsOfKind(db, 1, kTestFvc, "2026-03-05")), QStringList({"3.dt", "1.dt"}));
    EXPECT_EQ(TestDays(db, 1), QStringList({"2026-03-05", "2026-01-21", "2026-01-20"}));
    EXPECT_EQ(TestTimes(db, 1).size(), 5);
    EXPECT_TRUE(TestDays(db, 3).isEmpty());
}

TEST_F(CaseStore, DayTestsOfOneKindOldestFirstSkippingMissingFiles)
{
    addTest(1, 1, "2026-03-05 11:00:00", kTestFvc);
    addTest(1, 2, "2026-03-05 09:00:00", kTestFvc);
    addTest(1, 3, "2026-03-05 10:00:00", kTestVc);
    addTest(1, 4, "2026-03-06 10:00:00", kTestFvc);
    addTest(1, 5, "2026-03-05 12:00:00", kTestFvc);
    db.Files().Remove(1, "5.dt");
    EXPECT_EQ(names(LoadDayTests(db, 1, "2026-03-05", kTestFvc)), QStringList({"2.dt", "1.dt"}));
    EXPECT_EQ(names(LoadDayTests(db, 1, "2026-03-05", kTestVc)), QStringList({"3.dt"}));
    EXPECT_TRUE(LoadDayTests(db, 0, "2026-03-05", kTestFvc).empty());
    EXPECT_TRUE(LoadDayTests(db, 1, "", kTestFvc).empty());
    EXPECT_TRUE(LoadDayTests(db, 1, "2026-3-5", kTestFvc).empty());
    EXPECT_TRUE(LoadDayTests(db, 1, "2026-03-05 OR 1=1", kTestFvc).size() == 2);
    EXPECT_TRUE(LoadDayTests(db, 1, "2026-xx-05", kTestFvc).empty());
    const CaseTestList tests = LoadDayTests(db, 1, "2026-03-05", kTestFvc);
    EXPECT_FLOAT_EQ(tests[0].Record.FVC, 4);
    EXPECT_EQ(QByteArray(tests[0].Header.testTime), "2026-03-05 09:00:00");
}

// Through the store of either engine: files on a workstation, rows on a server.
TEST_F(CaseStore, StoredFilesAreCreatedOnceAndNamedSafely)
{
    CaseFileStore& files = db.Files();
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
    EXPECT_FALSE(files.Read(3, "1.dt", bytes));
    EXPECT_TRUE(files.RemoveCase(3));
    EXPECT_TRUE(files.Names(3).isEmpty());
}

// A session is kept with its rows or not at all; a second test under a taken
// number, or the name a lost row holds, stores nothing and the session goes on.
TEST_F(CaseStore, ASessionIsKeptWithItsRowsOrNotAtAll)
{
    const int id = 5;
    ASSERT_TRUE(db.Execute("insert into CaseInfo(ID, DataName, TestTime) values(?, ?, ?)",
                           {id, "2.dt", "2026-03-04 10:30:00"}));
    const std::unique_ptr<TestStore> tests = PatientTestStore(db, id, folder(id));
    QString error;
    SaveResult result;
    result.testTime = "2026-03-04 10:20:30";
    result.header.testType = kTestFvc;
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        result.dataName = name;
        return tests->Write(result, bytes, error);
    };
    for (const bool keep : {false, true}) {
        ASSERT_TRUE(tests->BeginSession(error)) << error.toStdString();
        ASSERT_EQ(tests->NextNumber(0, error), 1) << error.toStdString();
        ASSERT_EQ(write("1.dt", "first test"), TestWrite::Saved) << error.toStdString();
        EXPECT_EQ(write("1.dt", "second test"), TestWrite::NameTaken);
        EXPECT_EQ(write("2.dt", "orphan"), TestWrite::NameTaken);
        EXPECT_FALSE(db.Files().Exists(id, "2.dt"));
        ASSERT_EQ(write("3.dt", "third test"), TestWrite::Saved) << error.toStdString();
        ASSERT_TRUE(tests->EndSession(keep, error)) << error.toStdString();
        EXPECT_EQ(db.Files().Exists(id, "3.dt"), keep);
        EXPECT_EQ(count("SELECT * FROM CaseInfo WHERE ID = ?", {id}), keep ? 3 : 1);
    }
    QByteArray bytes;
    ASSERT_TRUE(db.Files().Read(id, "1.dt", bytes));
    EXPECT_EQ(bytes, "first test");
    // No number is handed out past the largest the readers take.
    ASSERT_TRUE(db.Files().Write(id, "999999999.dt", "last"));
    EXPECT_LE(tests->NextNumber(0, error), kLargestTestNumber);
}

TEST_F(CaseStore, ReconcileWithoutDayOnlyMakesTheFolder)
{
    addTest(1, 1, "2026-03-05 09:00:00", kTestFvc);
    db.Files().Remove(1, "1.dt");
    EXPECT_EQ(ReconcileDay(db, 7, ""), 0);
    EXPECT_TRUE(QFileInfo(folder(7)).isDir());
    EXPECT_EQ(ReconcileDay(db, 1, ""), 0);
    EXPECT_EQ(count("SELECT * FROM CaseInfo"), 1);
    EXPECT_EQ(ReconcileDay(db, 0, "2026-03-05"), 0);
    EXPECT_FALSE(QFileInfo::exists(folder(0)));
}

// Rows follow their files: a row without its file goes, a file without a row
// is left alone, figures, time, duration and kind come from the file.
TEST_F(CaseStore, ReconcileFollowsTheFiles)
{
    ManeuverResult slow = VcRecord(4);
    slow.Duration = 5;
    addTest(1, 1, "2026-03-05 09:00:00", kTestFvc, FvcRecord(3.4567f, 2.5f, 7.25f));
    addTest(1, 2, "2026-03-05 10:00:00", kTestFvc);
    // A file without a row.
    addTest(1, 3, "2026-03-05 11:00:00", kTestFvc, FvcRecord(4, 3, 8), false);
    addTest(1, 4, "2026-03-06 11:00:00", kTestFvc);
    addTest(1, 6, "2026-03-05 08:00:00", kTestVc, slow);
    // Row 1 differs from its file in the fourth decimal of FVC only; row 2 is its file as "%f" shows it.
    db.Execute("update CaseInfo set FVC = 3.4561, FEV1 = 2.5, PEF = 7.25 where DataName = '1.dt'");
    db.Execute("update CaseInfo set FVC = 4.0, FEV1 = 3.0, PEF = 8.0 where DataName = '2.dt'");
    db.Execute("update CaseInfo set TestTime = '2026-03-05 08:00:01', Duration = 4, TestType = 0 "
               "where DataName = '6.dt'");
    db.Files().Remove(1, "4.dt");
    addTest(1, 5, "2026-03-05 12:00:00", kTestFvc);
    db.Files().Remove(1, "5.dt");

    EXPECT_EQ(ReconcileDay(db, 1, "2026-03-05"), 3);
    const CaseRowList fvc = DayTestsOfKind(db, 1, kTestFvc, "2026-03-05");
    ASSERT_EQ(names(fvc), QStringList({"1.dt", "2.dt"}));
    EXPECT_EQ(QString::asprintf("%f", fvc[0].FVC), QString::asprintf("%f", 3.4567f));
    EXPECT_TRUE(db.Files().Exists(1, "3.dt"));
    const CaseRowList vc = TestsOfKind(db, 1, kTestVc);
    ASSERT_EQ(vc.size(), 1u);
    EXPECT_EQ(vc[0].TestTime, "2026-03-05 08:00:00");
    EXPECT_EQ(vc[0].Duration, 5);
    // Another day is not this day's business; once rows and files agree nothing is left to do.
    EXPECT_EQ(count("SELECT * FROM CaseInfo WHERE DataName = '4.dt'"), 1);
    EXPECT_EQ(ReconcileDay(db, 1, "2026-03-05"), 0);
}

TEST_F(CaseStore, DeleteTestAndDayRemoveRowsAndFilesOfEveryKind)
{
    addTest(1, 1, "2026-03-05 09:00:00", kTestFvc);
    addTest(1, 2, "2026-03-05 10:00:00", kTestVc);
    addTest(1, 3, "2026-03-05 11:00:00", kTestMvv);
    addTest(1, 4, "2026-03-06 11:00:00", kTestFvc);
    addTest(1, 5, "2026-03-06 12:00:00", kTestFvc);
    addTest(2, 1, "2026-03-05 09:00:00", kTestFvc);
    EXPECT_TRUE(DeleteTest(db, 1, "5.dt"));
    EXPECT_FALSE(db.Files().Exists(1, "5.dt"));
    EXPECT_EQ(count("SELECT * FROM CaseInfo WHERE ID = 1"), 4);
    EXPECT_TRUE(DeleteDay(db, 1, "2026-03-05"));
    for (const char* name : {"1.dt", "2.dt", "3.dt"})
        EXPECT_FALSE(db.Files().Exists(1, name)) << name;
    EXPECT_TRUE(db.Files().Exists(1, "4.dt"));
    EXPECT_TRUE(db.Files().Exists(2, "1.dt"));
    EXPECT_EQ(count("SELECT * FROM CaseInfo WHERE ID = 1"), 1);
    EXPECT_EQ(count("SELECT * FROM CaseInfo WHERE ID = 2"), 1);
    EXPECT_FALSE(DeleteDay(db, 1, "not a day"));
}

TEST_F(CaseStore, DeletePatientRemovesRowsAndFolderWithReadOnlyFile)
{
    for (int i = 0; i < 12; ++i) {
        PatientRecord p;
        p.Name = "filler";
        CreatePatient(db, p);
    }
    ASSERT_EQ(LastPatientId(db), 12);
    addTest(1, 1, "2026-03-05 09:00:00", kTestFvc);
    addTest(12, 1, "2026-03-05 09:00:00", kTestFvc);
    QDir().mkpath(folder(1) + "/sub/deeper");
    home.write("Case/1/sub/deeper/notes.txt", "x");
    home.write("Case/1/.hidden", "x");
    QFile::setPermissions(folder(1) + "/1.dt", QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_TRUE(DeletePatient(db, 1));
    EXPECT_FALSE(QFileInfo::exists(folder(1)));
    EXPECT_TRUE(db.Files().Exists(12, "1.dt"));
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE ID = 1"), 0);
    EXPECT_EQ(count("SELECT * FROM CaseInfo WHERE ID = 1"), 0);
    EXPECT_EQ(count("SELECT * FROM CaseInfo WHERE ID = 12"), 1);
    EXPECT_EQ(count("SELECT * FROM UserInfo"), 11);
    EXPECT_FALSE(DeletePatient(db, 0));
}

TEST_F(CaseStore, FolderDeleteNeverFollowsLinksOut)
{
    home.write("outside/keep.txt", "keep");
    addTest(1, 1, "2026-03-05 09:00:00", kTestFvc);
    ASSERT_TRUE(QFile::link(home.path("outside"), folder(1) + "/linkdir"));
    ASSERT_TRUE(QFile::link(home.path("outside/keep.txt"), folder(1) + "/2.dt"));
    EXPECT_TRUE(DeletePatient(db, 1));
    EXPECT_FALSE(QFileInfo::exists(folder(1)));
    EXPECT_EQ(home.read("outside/keep.txt"), "keep");
}

TEST_F(CaseStore, FolderDeleteStopsAtTheFirstFailureAndRefusesShortPaths)
{
    for (const char* path : {"", "/", "/tm"})
        EXPECT_FALSE(RemoveFolderTree(path)) << path;
    home.write("tree/a/x.txt", "x");
    home.write("tree/b.txt", "x");
    home.write("tree/c.txt", "x");
    QStringList tried;
    const auto failOnB = [&](const QString& path) {
        tried << QFileInfo(path).fileName();
        return !path.endsWith("b.txt") && QFile::remove(path);
    };
    EXPECT_FALSE(RemoveFolderTree(home.path("tree"), failOnB));
    EXPECT_EQ(tried, QStringList({"x.txt", "b.txt"})); // c.txt is never tried
    EXPECT_FALSE(QFileInfo::exists(home.path("tree/a")));
    EXPECT_TRUE(QFileInfo::exists(home.path("tree/b.txt")));
    EXPECT_TRUE(QFileInfo::exists(home.path("tree/c.txt")));
    EXPECT_TRUE(QFileInfo::exists(home.path("tree")));
    if (geteuid() == 0)
        return; // permissions do not bind root
    // A folder that will not go.
    home.write("tree/a/locked/file", "x");
    QFile::setPermissions(home.path("tree/a/locked"), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(RemoveFolderTree(home.path("tree")));
    EXPECT_TRUE(QFileInfo::exists(home.path("tree/a/locked/file")));
    QFile::setPermissions(home.path("tree/a/locked"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(CaseStore, DataNameOutsideTheFolderIsNeverTouched)
{
    home.write("Case/x.dt", "outside");
    addTest(1, 1, "2026-03-05 09:00:00", kTestFvc);
    // The file exists through the path the row would make: Case/1/../x.dt.
    ASSERT_TRUE(QFile::exists(folder(1) + "/../x.dt"));
    const auto addStrayRow = [this] {
        ASSERT_TRUE(db.Execute("insert into CaseInfo(ID, DataName, TestTime, FVC, TestType) "
                               "values(1, '../x.dt', '2026-03-05 10:00:00', 9, 0)"));
    };
    addStrayRow();
    EXPECT_EQ(names(LoadDayTests(db, 1, "2026-03-05", kTestFvc)), QStringList({"1.dt"}));
    EXPECT_TRUE(DeleteTest(db, 1, "../x.dt"));
    EXPECT_EQ(home.read("Case/x.dt"), "outside");
    addStrayRow();
    EXPECT_EQ(ReconcileDay(db, 1, "2026-03-05"), 1); // only the stray row goes
    EXPECT_EQ(home.read("Case/x.dt"), "outside");
    addStrayRow();
    EXPECT_TRUE(DeleteDay(db, 1, "2026-03-05"));
    EXPECT_EQ(home.read("Case/x.dt"), "outside");
    EXPECT_EQ(count("SELECT * FROM CaseInfo"), 0);
    EXPECT_TRUE(DeletePatient(db, 1));
    EXPECT_EQ(home.read("Case/x.dt"), "outside");
}
