// Saving and reading test files: each manoeuvre in its file and its row, and
// saving when things go wrong (a full disk, a locked or damaged database,
// stray names and links in the case store; programs saving at once: the
// tavctl case files): a test is saved with its file and its row, or not at
// all, and the user is told which.
#include "store_session.h"
#include "vc_test_stream.h"

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

#include <gtest/gtest.h>

namespace {

class TestFileFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_db.Open(m_home.path("data.mdb")));
        m_context.patientId = 17;
        m_context.caseFolder = AppPaths::PatientCaseFolder(17);
        m_context.expCoefficient = 149;
        m_context.inspCoefficient = 149;
        m_context.temperature = 33;
        m_context.deviceId = "TAV-0001";
        m_context.heightCm = 175;
        m_context.now = QDateTime(QDate(2026, 3, 4), QTime(10, 20, 30));
    }

    int rowCount(const QString& where = "1 = 1") {
        Recordset rs(m_db);
        rs.Open("SELECT * FROM CaseInfo WHERE " + where);
        return rs.GetRecordCount();
    }

    // Files and CaseInfo rows as the live test keeps them.
    std::unique_ptr<TestStore> tests() {
        return PatientTestStore(m_db, m_context.patientId, m_context.caseFolder);
    }

    // One FVC test of one manoeuvre.
    SaveResult save()
    {
        Session session;
        session.maneuver({4.0, 8.0, 0.08, 1.0}, {3.4, 2.0});
        return SaveTest(1, session.store(), m_context, *tests());
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

} // namespace

TEST_F(TestFileFixture, FvcSessionKeepsEveryManoeuvreInItsPlace) {
    Session session;
    session.maneuver({3.5, 7.0, 0.08, 1.2}, {3.0, 2.0});
    session.maneuver({4.0, 8.0, 0.08, 1.0}, {3.4, 2.0});
    session.maneuver({4.6, 9.5, 0.08, 1.0}, {4.0, 2.0}); // the best
    const ManeuverList live = session.store().Maneuvers();
    const PulseStream stream = session.store().Pulses();
    m_context.phase = kPhasePost;

    const SaveResult result = SaveTest(1, session.store(), m_context, *tests());
    ASSERT_EQ(result.outcome, SaveOutcome::Saved);
    EXPECT_EQ(result.resultValid, 1);
    EXPECT_EQ(result.prompts, QStringList{GetLangText("CASE", 1226)}); // said once
    EXPECT_EQ(result.bestIndex, 2);
    EXPECT_EQ(result.dataName, "3.dt"); // the result names the best manoeuvre
    EXPECT_EQ(session.store().finished.load(), 1);
    ASSERT_EQ(result.stored.size(), 3u);
    EXPECT_EQ(QDir(m_context.caseFolder).entryList(QDir::Files),
              (QStringList{"1.dt", "2.dt", "3.dt"})); // no temporary left

    // Each file holds its own manoeuvre, its time stamps rebased on the last
    // sample before it.
    int start = 0;
    for (int m = 0; m < 3; ++m) {
        SCOPED_TRACE(m);
        const QByteArray bytes = m_home.read(QString("Case/17/%1.dt").arg(m + 1));
        const int count = live[m].ExpCount + live[m].InspCount;
        ASSERT_EQ(bytes.size(), 412 + 8 * count + 32);
        TestFile file;
        QString error;
        ASSERT_TRUE(ParseTestFile(bytes, file, &error)) << error.toStdString();
        EXPECT_EQ(file.record.FVC, live[m].FVC);
        ASSERT_EQ(int(file.samples.size()), count);
        const std::uint32_t base = start > 0 ? stream[start - 1].time : 0;
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(file.samples[i].time, stream[start + i].time - base);
        EXPECT_NEAR(file.samples[0].time, 200000, 3000); // 2 s of pause, then the blow
        EXPECT_EQ(file.acceptance.flag[0], 1);           // a sharp start
        // Each blow empties in about 3 s and its last pulses come 0.2 s apart: no plateau.
        EXPECT_EQ(file.acceptance.flag[1], 0);
        if (m == 2) {
            EXPECT_EQ(file.acceptance.flag, result.acceptance.flag);
        }
        start += count;
    }

    // Three rows of one session (the first file's number), numbered in the
    // order blown, in the phase the test was started in. (The row's values and
    // time: CaseStore.RegisterKeepsTwoDecimals.)
    EXPECT_EQ(rowCount("ID = 17"), 3);
    for (int m = 1; m <= 3; ++m)
        EXPECT_EQ(
            rowCount(QString("ID = 17 and DataName = '%1.dt' and TestType = 0 and Session = 1 "
                             "and Maneuver = %1 and Phase = %2")
                         .arg(m)
                         .arg(kPhasePost)),
            1)
            << m;
}

TEST_F(TestFileFixture, ABlowWithLostPulsesIsLeftOutOfTheSessionAndItsNumberStaysFree) {
    ManeuverStatus lost;
    lost.complete = 0;
    lost.lostPulses = 4;
    Session session;
    session.maneuver({4.0, 8.0, 0.08, 1.0}, {3.4, 2.0});
    session.maneuver({4.1, 8.0, 0.08, 1.0}, {3.4, 2.0}, 2.0, lost);
    session.maneuver({4.2, 8.0, 0.08, 1.0}, {3.4, 2.0});
    const SaveResult result = SaveTest(1, session.store(), m_context, *tests());
    ASSERT_EQ(result.outcome, SaveOutcome::Saved);
    // The user is told that a blow was lost and must be repeated.
    EXPECT_EQ(result.prompts,
              (QStringList{GetLangText("CASE", 1226), GetLangText("MESSAGE", 2000)}));
    ASSERT_EQ(result.stored.size(), 2u);
    EXPECT_EQ(result.stored[0].index, 0);
    EXPECT_EQ(result.stored[1].index, 2);
    EXPECT_EQ(rowCount("Maneuver = 1 and Session = 1"), 1);
    EXPECT_EQ(rowCount("Maneuver = 3 and Session = 1 and DataName = '2.dt'"), 1);
    EXPECT_EQ(rowCount(), 2);
}

TEST_F(TestFileFixture, ASessionWhoseLastManoeuvreCannotBeRecordedIsTakenBackWhole) {
    // The database refuses the third row, as a full or damaged one would.
    ASSERT_TRUE(m_db.Execute("CREATE TRIGGER refuse BEFORE INSERT ON CaseInfo "
                             "WHEN NEW.Maneuver = 3 BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END"));
    Session session;
    for (int i = 0; i < 3; ++i)
        session.maneuver({4.0 + 0.1 * i, 8.0, 0.08, 1.0}, {3.4, 2.0});
    const SaveResult result = SaveTest(1, session.store(), m_context, *tests());
    EXPECT_EQ(result.outcome, SaveOutcome::NotRecorded);
    EXPECT_EQ(result.resultValid, 0); // the live page stays
    EXPECT_TRUE(result.stored.empty());
    EXPECT_TRUE(result.dataName.isEmpty());
    EXPECT_TRUE(result.prompts.join(' ').contains("disk I/O error"))
        << result.prompts.join(' ').toStdString();
    EXPECT_EQ(rowCount(), 0);
    EXPECT_TRUE(QDir(m_context.caseFolder).entryList(QDir::Files).isEmpty());
}

TEST_F(TestFileFixture, EqualSumsSaveTheFirstManoeuvre) {
    Session session;
    session.maneuver({4.0, 8.0, 0.08, 1.0}, {3.4, 2.0});
    session.maneuver({4.0, 8.0, 0.08, 1.0}, {3.4, 2.0});
    ManeuverList list = session.store().Maneuvers();
    list[1].FVC = list[0].FVC + 0.25f;
    list[1].FEV1 = list[0].FEV1 - 0.25f;
    session.store().SetManeuvers(list);
    const SaveResult result = SaveTest(1, session.store(), m_context, *tests());
    EXPECT_EQ(result.bestIndex, 0);
    EXPECT_EQ(result.record.FVC, list[0].FVC);
}

TEST_F(TestFileFixture, NothingToSave) {
    Session session;
    SaveResult result = SaveTest(1, session.store(), m_context, *tests()); // FVC without a manoeuvre
    EXPECT_EQ(result.outcome, SaveOutcome::NothingToSave);
    EXPECT_EQ(result.resultValid, 1);
    session.maneuver({4.0, 8.0, 0.08, 1.0}, {3.4, 2.0});
    result = SaveTest(0, session.store(), m_context, *tests()); // not asked to save
    EXPECT_EQ(result.outcome, SaveOutcome::NothingToSave);
    EXPECT_EQ(session.store().finished.load(), 1);
    EXPECT_FALSE(QDir(m_context.caseFolder).exists());
    EXPECT_EQ(rowCount(), 0);
}

// One breath cycle is refused: the mvvBreaths=1 row of tests/device/live_endings.csv.
TEST_F(TestFileFixture, MvvCountsTheWholeCyclesAndItsFileHasNoTrailer) {
    m_home.write("Language/English.txt", "[CASE]\n1226=over;\n");
    m_context.testType = kTestMvv;
    MeasurementStore store;
    VcTestStream breaths;
    breaths.add({1.5f, 1.4f, 0.6, 0.5});
    breaths.add({1.6f, 1.5f, 0.6, 0.5});
    breaths.add({1.4f, 1.5f, 0.6, 0.5});
    breaths.add({1.4f, 0.0f, 0.6, 0.5}); // an unfinished cycle ends the count
    for (const PulseSample& s : breaths.stream)
        store.AppendPulse(s);
    store.SetManeuvers(breaths.list);
    const SaveResult result = SaveTest(1, store, m_context, *tests());
    ASSERT_EQ(result.outcome, SaveOutcome::Saved);
    EXPECT_EQ(result.prompts, QStringList{"over;"});
    // 4.5 L expired (each breath counted once) over the 1 s lead-in and
    // three cycles of 1.1 s.
    EXPECT_NEAR(result.record.MVV, 4.5 * 60 / 4.3, 1e-3);
    const QByteArray bytes = m_home.read("Case/17/1.dt");
    ASSERT_EQ(bytes.size(), 412 + 8 * int(breaths.stream.size())); // nothing follows the samples
    TestFile file;
    ASSERT_TRUE(ParseTestFile(bytes, file));
    EXPECT_EQ(file.header.trailerFlag, 0);
    EXPECT_EQ(file.samples.size(), breaths.stream.size());
    EXPECT_EQ(rowCount("TestType = 2"), 1);
}

TEST_F(TestFileFixture, VcTestWithAndWithoutAResult) {
    m_home.write("Language/English.txt", "[MESSAGE]\n1265=invalid;\n");
    m_context.testType = kTestVc;
    VcTestStream test;
    for (int i = 0; i < 4; ++i)
        test.add({0.5f, 0.5f});
    MeasurementStore store;
    for (const PulseSample& s : test.stream)
        store.AppendPulse(s);
    store.SetManeuvers(test.list);
    EXPECT_EQ(store.UpdateTidalStability(), 1);
    SaveResult result = SaveTest(1, store, m_context, *tests());
    EXPECT_EQ(result.outcome, SaveOutcome::InvalidVc); // no deep breaths
    EXPECT_EQ(result.validPicture, 0);
    EXPECT_EQ(result.prompts, QStringList{"invalid;"});
    EXPECT_EQ(store.tidalFound.load(), 0);
    EXPECT_EQ(rowCount(), 0);

    test.add({1.7f, 3.7f, 4.0, 3.0});
    store.Clear();
    for (const PulseSample& s : test.stream)
        store.AppendPulse(s);
    store.SetManeuvers(test.list);
    EXPECT_EQ(store.UpdateTidalStability(), 1);
    result = SaveTest(1, store, m_context, *tests());
    ASSERT_EQ(result.outcome, SaveOutcome::Saved);
    EXPECT_EQ(result.validPicture, 1);
    EXPECT_NEAR(result.record.VC, 3.7, 1e-5);
    const QByteArray bytes = m_home.read("Case/17/1.dt");
    ASSERT_EQ(bytes.size(), 412 + 8 * int(test.stream.size()) + 40);
    TestFile file;
    ASSERT_TRUE(ParseTestFile(bytes, file));
    EXPECT_EQ(file.samples.size(),
              test.stream.size()); // the 40-byte summary is not read as a sample
    EXPECT_EQ(RecordCodec::DecodeTidalSummary(bytes.constData() + bytes.size() - 40).deepExpBreath,
              4);
    EXPECT_EQ(rowCount("TestType = 1 and VC > 3.69 and VC < 3.71"), 1);
}

TEST_F(TestFileFixture, WithTheDatabaseLockedNothingIsReportedSaved)
{
    m_db.SetBusyTimeout(200);
    ASSERT_TRUE(m_db.Open(m_home.path("data.mdb")));
    {
        Database other; // another workstation's connection
        ASSERT_TRUE(other.Open(m_home.path("data.mdb")));
        ASSERT_TRUE(other.Execute("BEGIN EXCLUSIVE"));

        const SaveResult locked = save();
        EXPECT_EQ(locked.outcome, SaveOutcome::NotRecorded);
        ASSERT_EQ(locked.prompts.size(), 1);
        EXPECT_TRUE(locked.prompts[0].contains("locked")) << locked.prompts[0].toStdString();
        EXPECT_TRUE(locked.dataName.isEmpty());
        EXPECT_TRUE(caseFiles().isEmpty()); // the file went again with the row
        ASSERT_TRUE(other.Execute("ROLLBACK"));
    }
    EXPECT_EQ(rowCount(), 0);

    // Once the other program is done, the next save is whole.
    const SaveResult saved = save();
    ASSERT_EQ(saved.outcome, SaveOutcome::Saved);
    EXPECT_EQ(caseFiles(), QStringList{"1.dt"});
    EXPECT_EQ(rowCount(), 1);
}

TEST_F(TestFileFixture, ADamagedCaseTableTakesNoTest)
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
TEST_F(TestFileFixture, StrayRowsNamesAndFoldersNeitherBlockNorHideTests)
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
        EXPECT_EQ(RecordCodec::Text(file.header.dataName, sizeof file.header.dataName),
                  result.dataName);
        names << result.dataName;
    }
    EXPECT_EQ(names, (QStringList{"3.dt", "4.dt", "5.dt"})); // a hidden .5.dt is no test
    EXPECT_EQ(m_home.read("Case/17/999999999.dt"), "stray");
    EXPECT_EQ(LoadDayTests(m_db, 17, "2026-03-04", kTestFvc).size(), 3u);
}

// The next number follows the largest, gaps left; past the readers' limit
// it is the lowest free one, and none when every one is taken.
TEST_F(TestFileFixture, NextNumberFollowsTheLargestUpToTheReadersLimit)
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

TEST_F(TestFileFixture, AFullDiskLeavesNoEmptyFileAndNoRow)
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

TEST_F(TestFileFixture, ALinkedCaseFolderDoesNotCarryTheTestElsewhere)
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

TEST(TestFileReader, TrailerRules) {
    TestFileHeader header;
    header.trailerFlag = 0;
    header.sampleOffset = 412;
    PulseStream samples{{100, 1}, {200, 1}, {300, 0}};
    const QByteArray body =
        BuildTestFile(header, ManeuverResult{}, samples.data(), 3, QByteArray(32, '\x01'));
    PulseStream read;
    for (int reader : {kTestFvc, kTestVc, kTestMvv}) {
        ASSERT_TRUE(ParseSamples(body, header, reader, read));
        EXPECT_EQ(read.size(), 7u); // flag 0: every byte after the offset is samples
    }
    header.trailerFlag = 1;
    ASSERT_TRUE(ParseSamples(body, header, kTestFvc, read));
    EXPECT_EQ(read.size(), 3u);
    EXPECT_EQ(read[2].time, 300u);
    EXPECT_EQ(read[2].direction, 0);
    ASSERT_TRUE(ParseSamples(body, header, kTestMvv, read));
    EXPECT_EQ(read.size(), 2u);
}

TEST(TestFileReader, MalformedFilesAreRejected) {
    TestFileHeader header;
    RecordCodec::SetText(header.magic, 8, "TAVW");
    header.sampleOffset = 412;
    ManeuverResult record;
    record.ExpCount = 2;
    record.InspCount = 1;
    PulseSample samples[3] = {{100, 1}, {200, 1}, {300, 0}};
    const QByteArray good = BuildTestFile(header, record, samples, 3, QByteArray(32, '\x01'));
    TestFile file;
    QString error;
    ASSERT_TRUE(ParseTestFile(good, file, &error)) << error.toStdString();
    EXPECT_EQ(file.acceptance.flag[0], 0x01010101);

    EXPECT_FALSE(ParseTestFile(good.left(403), file, &error));
    EXPECT_TRUE(error.contains("not a test file"));
    EXPECT_FALSE(ParseTestFile(good.left(good.size() - 8), file, &error)); // one sample short
    EXPECT_FALSE(ParseTestFile(good.left(430), file, &error));
    QByteArray wrongMagic = good;
    wrongMagic[0] = 'X';
    EXPECT_FALSE(ParseTestFile(wrongMagic, file, &error));
    for (std::int32_t offset : {0, 403, 100000, -8}) {
        TestFileHeader bad = header;
        bad.sampleOffset = offset;
        EXPECT_FALSE(ParseTestFile(BuildTestFile(bad, record, samples, 3, QByteArray(32, '\0')),
                                   file, &error))
            << offset;
    }
    ManeuverResult greedy = record;
    greedy.ExpCount = 1000000;
    EXPECT_FALSE(ParseTestFile(BuildTestFile(header, greedy, samples, 3, QByteArray(32, '\0')),
                               file, &error));
    EXPECT_TRUE(error.contains("1000001"));
    greedy.ExpCount = -5;
    EXPECT_FALSE(ParseTestFile(BuildTestFile(header, greedy, samples, 3, QByteArray(32, '\0')),
                               file, &error));
    // An MVV file may hold more pulses than its first breath counts, never fewer than none.
    TestFileHeader mvv = header;
    mvv.testType = kTestMvv;
    greedy.ExpCount = 2;
    greedy.InspCount = 1;
    const QByteArray tidal(kTidalSummarySize, '\0');
    ASSERT_TRUE(ParseTestFile(BuildTestFile(mvv, greedy, samples, 3, tidal), file, &error))
        << error.toStdString();
    greedy.InspCount = -5;
    EXPECT_FALSE(ParseTestFile(BuildTestFile(mvv, greedy, samples, 3, tidal), file, &error));
    TestFileHeader badType = header;
    badType.testType = 3;
    EXPECT_FALSE(ParseTestFile(BuildTestFile(badType, record, samples, 3, QByteArray(32, '\0')),
                               file, &error));
}

// Only <digits>.dt names are ever opened: a row can never reach outside Case/<ID>/.
TEST(TestFileName, OnlyDigitsAndTheEnding) {
    EXPECT_FALSE(IsTestFileName("../evil.dt"));
    EXPECT_FALSE(IsTestFileName(".dt"));
    EXPECT_FALSE(IsTestFileName("1.dt.bak"));
    EXPECT_FALSE(IsTestFileName(" 1.dt"));
    EXPECT_TRUE(IsTestFileName("12.dt"));
}
