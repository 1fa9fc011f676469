// What a session keeps beside its tests: the reference set and BTPS of each
// row, the bronchodilator details, the phase a day's next session takes, and
// relabelling with its record; also a database from before these existed.
#include "records_fixture.h"
#include "support/stored_tests.h"
#include "support/test_patient.h"

#include "core/clinical/gli_patient.h"
#include "core/records/patient_record.h"
#include "core/records/session_records.h"

#include <tuple>

namespace {

class SessionRecords : public RecordsTest {
  protected:
    int addPatient(const QString& name = "Ann", int standard = kStandardGliGlobal2022)
    {
        PatientRecord p = TestPatient(name, 1, QDate(1980, 3, 4), 165, 60, standard);
        const int id = CreatePatient(db, p);
        EXPECT_GT(id, 0) << db.LastError().toStdString();
        return id;
    }
    // One stored blow: its bytes and its row, in its place of a session.
    void blow(int id, int n, const QString& time, const SessionPlace& place, int kind = kTestFvc)
    {
        storeTest(id, n, time, kind, FvcRecord(4.0f, 3.1f, 8.0f), place);
    }
    // A session of `blows` blows starting with file `first`, two minutes apart.
    void session(int id, int first, const QString& day, int hour, int phase, int blows = 3,
                 const TestBasis& basis = {})
    {
        for (int i = 0; i < blows; ++i)
            blow(id, first + i, QString("%1 %2:%3:00").arg(day).arg(hour, 2, 10, QChar('0')).arg(i * 2, 2, 10, QChar('0')),
                 SessionPlace{first, i + 1, phase, basis});
    }
    int phaseCount(int id, int session, int phase)
    {
        return count("SELECT DataName FROM CaseInfo WHERE ID = ? AND Session = ? AND Phase = ?",
                     {id, session, phase});
    }
};

TEST_F(SessionRecords, EachRowKeepsItsReferenceSetAndBtpsAndOldRowsSayNotStored)
{
    const int id = addPatient();
    const TestBasis gli{kStandardGliGlobal2022, ReferenceSetVersion(kStandardGliGlobal2022), 1};
    session(id, 1, "2026-03-02", 9, kPhasePre, 1, gli);
    session(id, 2, "2026-03-02", 10, kPhasePre, 1, TestBasis{0, "ERS", 0});
    session(id, 3, "2026-03-02", 11, kPhasePre, 1); // nothing known: NULL
    // A version longer than any real one is cut; text is bound, never pasted.
    session(id, 4, "2026-03-02", 12, kPhasePre, 1, TestBasis{3, "2012'); DELETE FROM CaseInfo;--" + QString(40, 'x'), 1});

    const auto basis = [&](int patient, const char* name) {
        const TestBasis b = StoredTestBasis(db, patient, name);
        return std::tuple{b.standard, b.setVersion, b.btps};
    };
    EXPECT_EQ(basis(id, "1.dt"), std::tuple(kStandardGliGlobal2022, QString("2022"), 1));
    EXPECT_EQ(basis(id, "2.dt"), std::tuple(0, QString("ERS"), 0));
    EXPECT_EQ(basis(id, "3.dt"), std::tuple(-1, QString(), -1));
    EXPECT_EQ(count("SELECT DataName FROM CaseInfo WHERE RefStandard IS NULL AND Btps IS NULL"), 1);
    const TestBasis hostile = StoredTestBasis(db, id, "4.dt");
    EXPECT_EQ(hostile.setVersion.size(), kSetVersionLength);
    EXPECT_TRUE(hostile.setVersion.startsWith("2012'); DELETE"));
    EXPECT_EQ(count("SELECT DataName FROM CaseInfo"), 4);
    // No such row reads as not stored rather than as another row's values.
    EXPECT_EQ(basis(id, "99.dt"), std::tuple(-1, QString(), -1));
    EXPECT_EQ(basis(id + 1, "1.dt"), std::tuple(-1, QString(), -1));

    // The trend's rows carry the same.
    const CaseRowList rows = TestsOfKind(db, id, kTestFvc);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows.back().basis.standard, kStandardGliGlobal2022); // oldest last
    EXPECT_EQ(rows[1].basis.btps, -1);

    // Numbers outside the sets, written by another program, are not believed.
    ASSERT_TRUE(db.Execute("UPDATE CaseInfo SET RefStandard = 9, Btps = 7 WHERE ID = ? AND DataName = ?",
                           {id, "2.dt"}));
    EXPECT_EQ(std::get<0>(basis(id, "2.dt")), -1);
    EXPECT_EQ(std::get<2>(basis(id, "2.dt")), -1);
}

TEST_F(SessionRecords, TheNextSessionIsPostOnceTheDayHasAPreSession)
{
    const int ann = addPatient("Ann");
    const int bob = addPatient("Bob");
    const QString day = "2026-03-02";
    EXPECT_EQ(DefaultPhaseForDay(db, ann, day), kPhasePre);
    // Another patient's pre session, a VC test and a post session alone decide nothing.
    session(bob, 1, day, 9, kPhasePre);
    blow(ann, 1, day + " 08:00:00", SessionPlace{1, 1, kPhasePre}, kTestVc);
    session(ann, 2, day, 9, kPhasePost);
    EXPECT_EQ(DefaultPhaseForDay(db, ann, day), kPhasePre);
    session(ann, 5, day, 10, kPhasePre);
    EXPECT_EQ(DefaultPhaseForDay(db, ann, day), kPhasePost);
    // The next day starts again with pre; nonsense asks for pre.
    EXPECT_EQ(DefaultPhaseForDay(db, ann, "2026-03-03"), kPhasePre);
    EXPECT_EQ(DefaultPhaseForDay(db, ann, "not a day"), kPhasePre);
    EXPECT_EQ(DefaultPhaseForDay(db, 0, day), kPhasePre);
}

TEST_F(SessionRecords, RelabellingChangesOneSessionsRowsAndKeepsWhoAndWhen)
{
    const int id = addPatient();
    const QString day = "2026-03-02";
    session(id, 1, day, 9, kPhasePre);
    session(id, 4, day, 10, kPhasePre); // really the post session
    QByteArray before;
    ASSERT_TRUE(db.Files().Read(id, "5.dt", before));

    const QDateTime at(QDate(2026, 3, 2), QTime(12, 30, 15));
    QString error;
    EXPECT_EQ(RelabelSession(db, id, day, 4, kPhasePost, "Nurse\nO'Hara\t(ward 3)", at, &error),
              RelabelOutcome::Changed)
        << error.toStdString();
    EXPECT_EQ(phaseCount(id, 4, kPhasePost), 3);
    EXPECT_EQ(phaseCount(id, 1, kPhasePre), 3); // the other session stays
    QByteArray after;
    ASSERT_TRUE(db.Files().Read(id, "5.dt", after));
    EXPECT_EQ(after, before); // the test itself is never rewritten

    std::vector<PhaseChange> changes = LoadPhaseChanges(db, id, 4);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].oldPhase, kPhasePre);
    EXPECT_EQ(changes[0].newPhase, kPhasePost);
    EXPECT_EQ(changes[0].by, "Nurse O'Hara (ward 3)"); // one line, as typed otherwise
    EXPECT_EQ(changes[0].at, "2026-03-02 12:30:15");
    EXPECT_TRUE(LoadPhaseChanges(db, id, 1).empty());

    // Asking for the phase it has writes nothing; back again is a second record.
    EXPECT_EQ(RelabelSession(db, id, day, 4, kPhasePost, "x", at), RelabelOutcome::Unchanged);
    EXPECT_EQ(LoadPhaseChanges(db, id, 4).size(), 1u);
    EXPECT_EQ(RelabelSession(db, id, day, 4, kPhasePre, "Dr B", at.addSecs(60)), RelabelOutcome::Changed);
    changes = LoadPhaseChanges(db, id, 4);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].oldPhase, kPhasePost);
    EXPECT_EQ(changes[1].by, "Dr B");
    EXPECT_EQ(phaseCount(id, 4, kPhasePre), 3);

    // What is not there is said so and changes nothing.
    EXPECT_EQ(RelabelSession(db, id, day, 2, kPhasePost, "x", at), RelabelOutcome::NoSession); // a blow, not a session
    EXPECT_EQ(RelabelSession(db, id, "2026-03-03", 4, kPhasePost, "x", at), RelabelOutcome::NoSession);
    EXPECT_EQ(RelabelSession(db, id, "garbage", 4, kPhasePost, "x", at), RelabelOutcome::NoSession);
    EXPECT_EQ(RelabelSession(db, id + 7, day, 4, kPhasePost, "x", at), RelabelOutcome::NoPatient);
    EXPECT_EQ(RelabelSession(db, id, day, 4, 2, "x", at), RelabelOutcome::BadPhase);
    EXPECT_EQ(RelabelSession(db, id, day, 4, -1, "x", at), RelabelOutcome::BadPhase);
    EXPECT_EQ(LoadPhaseChanges(db, id, 4).size(), 2u);
    EXPECT_EQ(phaseCount(id, 4, kPhasePre), 3);
}

TEST_F(SessionRecords, BronchodilatorDetailsAreKeptCleanAndGoWithTheirDayAndPatient)
{
    const int id = addPatient();
    session(id, 1, "2026-03-02", 9, kPhasePre);
    session(id, 4, "2026-03-02", 10, kPhasePost);
    session(id, 7, "2026-03-05", 10, kPhasePost);
    EXPECT_TRUE(LoadSessionDetail(db, id, 4).IsEmpty());

    SessionDetail d;
    d.drug = "  Salbutamol\r\nDROP TABLE SessionDetail;  ";
    d.dose = "400 µg " + QString(100, '9');
    d.doseTime = QDateTime(QDate(2026, 3, 2), QTime(9, 40, 12, 500));
    d.referrer = QString::fromUtf8("Dr. O'Brien 王医生");
    ASSERT_TRUE(SaveSessionDetail(db, id, 4, d));
    SessionDetail stored = LoadSessionDetail(db, id, 4);
    EXPECT_EQ(stored.drug, "Salbutamol DROP TABLE SessionDetail;");
    EXPECT_EQ(stored.dose.size(), kDoseLength);
    EXPECT_TRUE(stored.dose.startsWith(QString::fromUtf8("400 µg 9")));
    EXPECT_EQ(stored.doseTime, QDateTime(QDate(2026, 3, 2), QTime(9, 40, 12)));
    EXPECT_EQ(stored.referrer, QString::fromUtf8("Dr. O'Brien 王医生"));
    EXPECT_TRUE(LoadSessionDetail(db, id, 1).IsEmpty()); // per session

    // Saving again replaces; saving nothing removes the row.
    SessionDetail referrerOnly;
    referrerOnly.referrer = "Dr. Park";
    ASSERT_TRUE(SaveSessionDetail(db, id, 4, referrerOnly));
    stored = LoadSessionDetail(db, id, 4);
    EXPECT_TRUE(stored.drug.isEmpty());
    EXPECT_FALSE(stored.doseTime.isValid());
    EXPECT_EQ(stored.referrer, "Dr. Park");
    EXPECT_EQ(count("SELECT ID FROM SessionDetail WHERE ID = ? AND Session = ?", {id, 4}), 1);
    ASSERT_TRUE(SaveSessionDetail(db, id, 4, SessionDetail{}));
    EXPECT_EQ(count("SELECT ID FROM SessionDetail WHERE ID = ?", {id}), 0);

    // Deleting a day takes its sessions' details and relabellings; the other day keeps its own.
    ASSERT_TRUE(SaveSessionDetail(db, id, 4, referrerOnly));
    ASSERT_TRUE(SaveSessionDetail(db, id, 7, referrerOnly));
    ASSERT_EQ(RelabelSession(db, id, "2026-03-02", 4, kPhasePre, "x", QDateTime::currentDateTime()),
              RelabelOutcome::Changed);
    ASSERT_TRUE(DeleteDay(db, id, "2026-03-02"));
    EXPECT_TRUE(LoadSessionDetail(db, id, 4).IsEmpty());
    EXPECT_TRUE(LoadPhaseChanges(db, id, 4).empty());
    EXPECT_EQ(LoadSessionDetail(db, id, 7).referrer, "Dr. Park");
    ASSERT_TRUE(DeletePatient(db, id));
    EXPECT_EQ(count("SELECT ID FROM SessionDetail"), 0);
}

TEST(SessionRecordsText, DoseTimesAreClockTimesOfTheDay)
{
    const QDate day(2026, 3, 2);
    QDateTime t;
    EXPECT_TRUE(ParseDoseTime("9:05", day, t));
    EXPECT_EQ(t, QDateTime(day, QTime(9, 5)));
    EXPECT_TRUE(ParseDoseTime(" 23:59 ", day, t));
    EXPECT_EQ(t.time(), QTime(23, 59));
    EXPECT_TRUE(ParseDoseTime("", day, t));
    EXPECT_FALSE(t.isValid());
    for (const char* bad : {"24:00", "9:5", "12:60", "noon", "12:30:00", "-1:30", "1230"}) {
        EXPECT_FALSE(ParseDoseTime(bad, day, t)) << bad;
        EXPECT_FALSE(t.isValid()) << bad;
    }
    EXPECT_FALSE(ParseDoseTime("10:00", QDate(), t));
}

// A database from before: no reference set, BTPS or session tables. Opening
// it adds them; its rows read as not stored and its sessions can be relabelled.
TEST_F(SessionRecords, ADatabaseFromBeforeGainsTheNewColumnsAndTables)
{
    const int id = addPatient();
    session(id, 1, "2026-01-10", 9, kPhasePre, 2, TestBasis{4, "2022", 1});
    for (const char* sql : {"DROP TABLE SessionDetail", "DROP TABLE PhaseChange",
                            "ALTER TABLE CaseInfo DROP COLUMN RefStandard",
                            "ALTER TABLE CaseInfo DROP COLUMN RefVersion",
                            "ALTER TABLE CaseInfo DROP COLUMN Btps"})
        ASSERT_TRUE(db.Execute(sql)) << sql << ": " << db.LastError().toStdString();
    db.Close();

    ASSERT_TRUE(db.Open(location)) << db.LastError().toStdString();
    const TestBasis old = StoredTestBasis(db, id, "1.dt");
    EXPECT_EQ(old.standard, -1);
    EXPECT_EQ(old.btps, -1);
    EXPECT_EQ(phaseCount(id, 1, kPhasePre), 2);

    // The new tables work at once, and new tests keep their set again.
    SessionDetail d;
    d.referrer = "Dr. Park";
    EXPECT_TRUE(SaveSessionDetail(db, id, 1, d));
    EXPECT_EQ(RelabelSession(db, id, "2026-01-10", 1, kPhasePost, "x", QDateTime::currentDateTime()),
              RelabelOutcome::Changed);
    session(id, 3, "2026-01-11", 9, kPhasePre, 1, TestBasis{4, "2022", 0});
    const TestBasis kept = StoredTestBasis(db, id, "3.dt");
    EXPECT_EQ(std::tuple(kept.standard, kept.setVersion, kept.btps),
              std::tuple(4, QString("2022"), 0));
    // Opened again: nothing more to do.
    db.Close();
    ASSERT_TRUE(db.Open(location)) << db.LastError().toStdString();
    EXPECT_EQ(LoadSessionDetail(db, id, 1).referrer, "Dr. Park");
    EXPECT_EQ(LoadPhaseChanges(db, id, 1).size(), 1u);
}

} // namespace
