// Saving a test when things go wrong: a full disk, a locked or damaged
// database, a second program saving for the same patient, stray names and
// links in the case store. A test is saved with its file and its row, or not
// at all, and the user is told which.
#include "store_session.h"

#include "core/measure/record_codec.h"
#include "core/measure/test_file_reader.h"
#include "core/measure/test_file_writer.h"

#include "core/app/app_paths.h"
#include "core/app/lang_text.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/recordset.h"
#include "support/full_disk.h"
#include "support/temp_home.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace {

class SaveFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_db.Open(m_home.path("data.mdb")));
        m_context.patientId = 17;
        m_context.caseFolder = AppPaths::PatientCaseFolder(17);
        m_context.expCoefficient = 149;
        m_context.inspCoefficient = 149;
        m_context.heightCm = 175;
        m_context.now = QDateTime(QDate(2026, 3, 4), QTime(10, 20, 30));
    }

    SaveResult save()
    {
        Session session;
        session.maneuver({4.0, 8.0, 0.08, 1.0}, {3.4, 2.0});
        return SaveTest(1, session.store(), m_context, *PatientTestStore(m_db, m_context.patientId, m_context.caseFolder));
    }

    int rowCount()
    {
        Recordset rs(m_db);
        rs.Open("SELECT * FROM CaseInfo");
        return rs.GetRecordCount();
    }

    QStringList caseFiles() const
    {
        return QDir(m_context.caseFolder)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    TempHome m_home;
    Database m_db;
    SaveContext m_context;
};

TEST_F(SaveFixture, WithTheDatabaseLockedNothingIsReportedSaved)
{
    m_db.SetBusyTimeout(200);
    ASSERT_TRUE(m_db.Open(m_home.path("data.mdb")));
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-workstation");
        other.setDatabaseName(m_home.path("data.mdb"));
        ASSERT_TRUE(other.open());
        QSqlQuery lock(other);
        ASSERT_TRUE(lock.exec("BEGIN EXCLUSIVE"));

        const SaveResult locked = save();
        EXPECT_EQ(locked.outcome, SaveOutcome::NotRecorded);
        ASSERT_EQ(locked.prompts.size(), 1);
        EXPECT_TRUE(locked.prompts[0].contains("locked")) << locked.prompts[0].toStdString();
        EXPECT_TRUE(locked.dataName.isEmpty());
        EXPECT_TRUE(caseFiles().isEmpty()); // the file went again with the row
        ASSERT_TRUE(lock.exec("ROLLBACK"));
        other.close();
    }
    QSqlDatabase::removeDatabase("other-workstation");
    EXPECT_EQ(rowCount(), 0);

    // Once the other program is done, the next save is whole.
    const SaveResult saved = save();
    ASSERT_EQ(saved.outcome, SaveOutcome::Saved);
    EXPECT_EQ(caseFiles(), QStringList{"1.dt"});
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(SaveFixture, ADamagedCaseTableTakesNoTest)
{
    // Another tool dropped the table behind the program's back.
    ASSERT_TRUE(m_db.Execute("DROP TABLE CaseInfo"));
    const SaveResult result = save();
    EXPECT_EQ(result.outcome, SaveOutcome::NotRecorded);
    EXPECT_TRUE(caseFiles().isEmpty());
}

// A row left from a lost file, a folder under a candidate name, a stray
// largest name and names no reader takes: each save gets a name of its own
// that the readers find, and nothing is overwritten.
TEST_F(SaveFixture, StrayRowsNamesAndFoldersNeitherBlockNorHideTests)
{
    ASSERT_TRUE(m_db.Execute("insert into CaseInfo(ID, DataName, TestTime, TestType) "
                             "values(17, '1.dt', '2026-01-01 09:00:00', 0)"));
    QDir().mkpath(m_context.caseFolder + "/2.dt");
    m_home.write("Case/17/999999999.dt", "stray");
    m_home.write("Case/17/1234567890.dt", "ten digits: no reader takes it");
    m_home.write("Case/17/.5.dt", "hidden");
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        const SaveResult result = save();
        ASSERT_EQ(result.outcome, SaveOutcome::Saved) << i;
        EXPECT_TRUE(IsTestFileName(result.dataName)) << result.dataName.toStdString();
        TestFile file;
        ASSERT_TRUE(ReadTestFile(result.path, file));
        EXPECT_EQ(RecordCodec::Text(file.header.dataName, sizeof file.header.dataName), result.dataName);
        names << result.dataName;
    }
    EXPECT_EQ(names, (QStringList{"3.dt", "4.dt", "5.dt"})); // a hidden .5.dt is no test
    EXPECT_EQ(m_home.read("Case/17/999999999.dt"), "stray");
    EXPECT_EQ(LoadDayTests(m_db, 17, "2026-03-04", kTestFvc).size(), 3u);
}

// The next number follows the largest, gaps left; past the readers' limit
// it is the lowest free one, and none when every one is taken.
TEST_F(SaveFixture, NextNumberFollowsTheLargestUpToTheReadersLimit)
{
    const QString folder = m_context.caseFolder;
    EXPECT_EQ(NextTestNumber(folder), 1); // folder missing
    m_home.write("Case/17/1.dt", "x");
    m_home.write("Case/17/3.dt", "x");
    m_home.write("Case/17/4.dt.bak", "x");
    QDir().mkpath(folder + "/30.dt"); // folders do not count
    EXPECT_EQ(NextTestNumber(folder), 4);
    EXPECT_EQ(NextTestNumber(folder, 5), 6);
    m_home.write("Case/17/999999999.dt", "x");
    EXPECT_EQ(NextTestNumber(folder), 2);
    EXPECT_EQ(NextTestNumber(folder, 2), 4);
    EXPECT_EQ(NextTestNumber(folder, 0, 3), 2);
    m_home.write("Case/17/2.dt", "x");
    EXPECT_EQ(NextTestNumber(folder, 0, 3), -1);
}

TEST_F(SaveFixture, AFullDiskLeavesNoEmptyFileAndNoRow)
{
    FullDisk disk;
    AppPaths::Init(disk.Path(), disk.Path()); // the case store on the small disk
    m_context.caseFolder = AppPaths::PatientCaseFolder(17);
    ASSERT_TRUE(QDir().mkpath(m_context.caseFolder));
    disk.Fill();
    const SaveResult result = save();
    disk.Free();
    EXPECT_EQ(result.outcome, SaveOutcome::FileNotCreated);
    ASSERT_EQ(result.prompts.size(), 1);
    EXPECT_NE(result.prompts[0], GetLangText("CASE", 1226));
    EXPECT_TRUE(caseFiles().isEmpty()) << caseFiles().join(' ').toStdString();
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(SaveFixture, ALinkedCaseFolderDoesNotCarryTheTestElsewhere)
{
    QTemporaryDir elsewhere;
    QDir().mkpath(AppPaths::CaseRoot());
    ASSERT_TRUE(QFile::link(elsewhere.path(), m_context.caseFolder));
    const SaveResult result = save();
    EXPECT_EQ(result.outcome, SaveOutcome::FileNotCreated);
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_EQ(rowCount(), 0);
    // Nor do the readers follow it: a file planted there is not a test of the patient.
    TestFileHeader header = MakeHeader(m_context, "1.dt", "2026-03-04 10:20:30");
    const QByteArray planted = BuildTestFile(header, ManeuverResult{}, nullptr, 0, QByteArray());
    QFile file(elsewhere.filePath("1.dt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(planted);
    file.close();
    ASSERT_TRUE(m_db.Execute("insert into CaseInfo(ID, DataName, TestTime, TestType) "
                             "values(17, '1.dt', '2026-03-04 10:20:30', 0)"));
    EXPECT_TRUE(LoadDayTests(m_db, 17, "2026-03-04", kTestFvc).empty());
    // And the row is not dropped for it either.
    EXPECT_EQ(ReconcileDay(m_db, 17, "2026-03-04"), -1);
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(SaveFixture, TwoProgramsSavingAtOnceKeepEveryTest)
{
    constexpr int kEach = 40;
    QProcess first, second;
    for (QProcess* worker : {&first, &second})
        worker->start(SAVE_WORKER_PATH, {m_home.path(), "17", QString::number(kEach)});
    QStringList names;
    for (QProcess* worker : {&first, &second}) {
        ASSERT_TRUE(worker->waitForFinished(180000));
        const QString out = QString::fromUtf8(worker->readAllStandardOutput());
        EXPECT_EQ(worker->exitCode(), 0) << out.toStdString()
                                         << worker->readAllStandardError().toStdString();
        for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
            names << line.section(' ', 1, 1);
    }
    EXPECT_EQ(names.size(), 2 * kEach);
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 2 * kEach);
    EXPECT_EQ(caseFiles().size(), 2 * kEach);
    EXPECT_EQ(rowCount(), 2 * kEach);
    // Each file is whole and carries its own name.
    for (const QString& name : caseFiles()) {
        TestFile file;
        ASSERT_TRUE(ReadTestFile(m_context.caseFolder + '/' + name, file)) << name.toStdString();
        EXPECT_EQ(RecordCodec::Text(file.header.dataName, sizeof file.header.dataName),
                  name.toLatin1());
    }
}

} // namespace
