// Patient rows: keys, bound values, limits, and the editor's rules.
#include "records_fixture.h"
#include "support/test_patient.h"

#include "core/records/case_file_store.h"
#include "core/records/diagnosis.h"
#include "core/records/patient_editor_rules.h"
#include "core/clinical/gli_patient.h"
#include "core/records/patient_record.h"

namespace {

PatientRecord sample(const QString& name)
{
    PatientRecord r = TestPatient(name, 1, QDate(1980, 2, 29), 165, 60, 2);
    r.Nation = 3;
    return r;
}

} // namespace

class Patients : public RecordsTest {
  protected:
    // Patients "A" and "B", keys 1 and 2.
    void addTwo()
    {
        a = sample("A");
        b = sample("B");
        ASSERT_EQ(CreatePatient(db, a), 1);
        ASSERT_EQ(CreatePatient(db, b), 2);
    }
    PatientRecord a, b;
};

TEST_F(Patients, FirstPatientGetsKeyOneItsNumberAndLoadsEveryField)
{
    EXPECT_EQ(LastPatientId(db), 0);
    PatientRecord r = sample("O'Brien");
    r.Smoker = true;
    r.Ethnic = 5; // the last of the GLI groups
    r.City = "King's Lynn'; DROP TABLE UserInfo; --";
    EXPECT_EQ(CreatePatient(db, r), 1);
    EXPECT_EQ(r.ID, 1);
    EXPECT_EQ(r.PatientNumber, "00000001");
    PatientRecord loaded;
    ASSERT_TRUE(LoadPatient(db, 1, loaded));
    EXPECT_EQ(loaded.ID, 1);
    EXPECT_EQ(loaded.Name, "O'Brien");
    EXPECT_EQ(loaded.PatientNumber, "00000001");
    EXPECT_EQ(loaded.Gender, 1);
    EXPECT_EQ(loaded.Birthdate, QDate(1980, 2, 29));
    EXPECT_EQ(loaded.Age, QDate::currentDate().year() - 1980);
    EXPECT_TRUE(loaded.Smoker);
    EXPECT_EQ(loaded.Ethnic, 5);
    EXPECT_EQ(loaded.City, r.City);
    EXPECT_EQ(loaded.Standard, 2);
    EXPECT_EQ(loaded.Password, "586");
    EXPECT_EQ(loaded.PasswordFlag, 1);
    // No such row leaves the record as it was.
    EXPECT_FALSE(LoadPatient(db, 5, loaded));
    EXPECT_EQ(loaded.ID, 1);
    EXPECT_EQ(loaded.Name, "O'Brien");
}

TEST_F(Patients, OverlongTextsFromTheDatabaseAreCut)
{
    ASSERT_TRUE(db.Execute("insert into UserInfo(ID, ptID, FirstName, Address, Postalcode, City, "
                           "Job, UserPassWord, Birthdate) values(9, '9', ?, ?, ?, ?, ?, ?, "
                           "'1970-01-01')",
                           {QString(60, 'n'), QString(150, 'a'), QString(20, 'p'), QString(80, 'c'),
                            QString(80, 'j'), QString(30, 'w')}));
    PatientRecord r;
    ASSERT_TRUE(LoadPatient(db, 9, r));
    EXPECT_EQ(r.Name.size(), 40);
    EXPECT_EQ(r.Address.size(), 99);
    EXPECT_EQ(r.Postalcode.size(), 9);
    EXPECT_EQ(r.City.size(), 49);
    EXPECT_EQ(r.Job.size(), 49);
    EXPECT_EQ(r.Password.size(), 22);
}

TEST_F(Patients, DemographicsUpdateOnlyTheirRow)
{
    addTwo();
    a.Height = 181;
    a.Weight = 90;
    a.Smoker = true;
    a.Birthdate = QDate(1955, 12, 31);
    a.PatientNumber = "12345678";
    a.Job = "Miner";
    a.Ethnic = 1; // the first of the GLI groups
    ASSERT_TRUE(SavePatientDemographics(db, a.ID, a));
    PatientRecord la, lb;
    LoadPatient(db, a.ID, la);
    LoadPatient(db, b.ID, lb);
    EXPECT_EQ(la.Height, 181);
    EXPECT_EQ(la.Weight, 90);
    EXPECT_TRUE(la.Smoker);
    EXPECT_EQ(la.Birthdate, QDate(1955, 12, 31));
    EXPECT_EQ(la.PatientNumber, "12345678");
    EXPECT_EQ(la.Job, "Miner");
    EXPECT_EQ(la.Ethnic, 1);
    EXPECT_EQ(lb.Height, 165);
    EXPECT_EQ(lb.PatientNumber, "00000002");
}

TEST_F(Patients, NumberTakenLooksAtOtherPatientsOnlyAndNoKeyWritesNoName)
{
    addTwo();
    EXPECT_FALSE(SavePatientName(db, -1, "X", 0, ""));
    EXPECT_EQ(count("SELECT * FROM UserInfo WHERE FirstName = 'X'"), 0);
    ASSERT_TRUE(SavePatientName(db, 2, "D'Arcy O'Neil", 1, "it's"));
    PatientName name;
    ASSERT_TRUE(ReadPatientName(db, 2, name));
    EXPECT_EQ(name.Name, "D'Arcy O'Neil");
    EXPECT_EQ(name.Password, "it's");
    EXPECT_FALSE(PatientNumberTaken(db, "00000001", 1));
    EXPECT_TRUE(PatientNumberTaken(db, "00000001", 2));
    EXPECT_FALSE(PatientNumberTaken(db, "00000003", 2));
    EXPECT_FALSE(PatientNumberTaken(db, "' OR '1'='1", 2));
}

TEST_F(Patients, KeysAreNotReusedUnlessTheLastRowWentAway)
{
    for (const char* name : {"A", "B", "C"}) {
        PatientRecord r = sample(name);
        CreatePatient(db, r);
    }
    db.Execute("delete from UserInfo where ID = 2");
    EXPECT_EQ(LastPatientId(db), 3);
    db.Execute("delete from UserInfo where ID = 3");
    PatientRecord d = sample("D");
    EXPECT_EQ(CreatePatient(db, d), 2);
}

TEST(PatientRules, DayIsLoweredUntilTheDateExists)
{
    EXPECT_EQ(ValidDate(2023, 2, 29), QDate(2023, 2, 28));
    EXPECT_EQ(ValidDate(2024, 2, 29), QDate(2024, 2, 29));
    EXPECT_EQ(ValidDate(2023, 4, 31), QDate(2023, 4, 30));
    // 25 years before 29 Feb 2024 is 1999, which has no 29 February.
    EXPECT_EQ(BirthdateForAge(25, QDate(2024, 2, 29), QDate(2024, 2, 29)), QDate(1999, 2, 28));
    EXPECT_EQ(BirthdateForAge(40, QDate(1990, 7, 14), QDate(2026, 1, 1)), QDate(1986, 7, 14));
}

TEST(PatientRules, AgeBoxShowsTheAgeThatIsStored)
{
    // The box never shows another age than the one the birth date gives and the record keeps.
    const QDate today(2026, 6, 1);
    EXPECT_EQ(AgeForBirthdate(QDate(1906, 6, 1), today), 120);
    EXPECT_EQ(AgeForBirthdate(QDate(2024, 1, 1), today), 2);
    EXPECT_EQ(AgeForBirthdate(QDate(1986, 12, 31), today), 40); // calendar years only
    EXPECT_EQ(AgeForBirthdate(QDate(2027, 1, 1), today), 0);
    for (const QDate& birth : {QDate(1906, 6, 1), QDate(2024, 1, 1), QDate(1986, 12, 31)})
        EXPECT_EQ(AgeForBirthdate(birth, today), AgeFromBirthdate(birth, today));
}

// The editor's checks, one row of patient_checks.csv each.
TEST_F(Patients, ChecksGiveTheFirstBrokenRuleItsFieldAndBound)
{
    const QDate today(2026, 6, 1);
    const QStringList fields = {"None", "Name", "Number", "Age", "Birthdate", "Height", "Weight", "Ethnic"};
    for (const DataRow& data : DataRows("patient_checks.csv")) {
        const QStringList& row = data.cells;
        SCOPED_TRACE(data.line());
        ASSERT_EQ(row.size(), 13);
        const auto text = [&](int i, const QString& blank) {
            return row[i] == "-" ? QString() : row[i].isEmpty() ? blank : row[i];
        };
        PatientInput input;
        input.Name = text(1, "Ann");
        input.NumberText = text(2, "A-1");
        input.Standard = row[3].toInt();
        input.Ethnic = row[4].toInt();
        input.Age = row[5].toInt();
        input.Birthdate = QDate::fromString(row[6], Qt::ISODate);
        input.Height = text(7, "170").toInt();
        input.Weight = text(8, "70").toInt();
        PatientInputCheck check;
        if (row[0] == "range") {
            const PatientField field = PatientField(fields.indexOf(text(11, "Age")));
            check = CheckRange(field, field == PatientField::Age      ? input.Age
                                      : field == PatientField::Height ? input.Height
                                                                      : input.Weight);
        } else if (row[0] == "edit") {
            check = CheckEditedPatient(db, input, 1, QDate::fromString(row[9], Qt::ISODate), today);
        } else {
            check = CheckNewPatient(db, input, today);
        }
        EXPECT_EQ(check.MessageKey, row[10].toInt());
        EXPECT_EQ(check.Ok(), row[10] == "0");
        EXPECT_TRUE(check.Ok() || row[11].isEmpty() || fields.value(int(check.Field)) == row[11]);
        EXPECT_TRUE(row[12].isEmpty() || check.Bound == row[12].toInt()) << check.Bound;
    }
}

// The refusal names the set and its range; a set no table knows (a damaged
// row) names the older sets' one.
TEST(PatientRules, AnAgeOutsideTheSetIsExplainedByTheSet)
{
    EXPECT_EQ(PatientCheckText(CheckAgeForSet(96, kStandardGliGlobal2022)),
              ReferenceSetLabel(kStandardGliGlobal2022) +
                  " covers ages 3 to 95 years: please enter an age within this range.");
    EXPECT_EQ(PatientCheckText(CheckAgeForSet(4, 1)),
              "Knudson covers ages 6 to 100 years: please enter an age within this range.");
    EXPECT_EQ(PatientCheckText(CheckAgeForSet(4, 9)),
              "ERS covers ages 6 to 100 years: please enter an age within this range.");
}

// Opened, a patient shows what is stored (an age past every set, a number
// typed by hand) and asks no question until a field changes, edit after edit;
// another patient's number, or one that would not show back as typed, is refused.
TEST_F(Patients, AnOpenedPatientIsUnchangedUntilAFieldChangesAndKeepsItsAgeAndNumber)
{
    addTwo();
    PatientRecord old = sample("Old");
    old.Birthdate = QDate(QDate::currentDate().year() - 105, 4, 4);
    ASSERT_EQ(CreatePatient(db, old, "HOSP-4711"), 3);
    PatientRecord current;
    for (int edit = 0; edit < 2; ++edit) {
        ASSERT_TRUE(LoadPatient(db, 3, current));
        PatientInput input = InputFromPatient(db, current);
        EXPECT_EQ(input.NumberText, "HOSP-4711");
        EXPECT_EQ(input.Age, 105);
        EXPECT_EQ(input.Birthdate, old.Birthdate);
        EXPECT_FALSE(InputDiffers(input, current)) << "edit " << edit;
        input.Weight = 70 + edit;
        EXPECT_TRUE(InputDiffers(input, current));
        ASSERT_TRUE(CheckEditedPatient(db, input, 3, current.Birthdate).Ok());
        ApplyInput(input, current);
        EXPECT_EQ(current.Age, 105);
        ASSERT_TRUE(SavePatientDemographics(db, 3, current));
    }
    ASSERT_TRUE(LoadPatient(db, 3, current));
    EXPECT_EQ(current.PatientNumber, "HOSP-4711");
    EXPECT_EQ(current.Weight, 71);

    PatientInput input = InputFromPatient(db, current);
    input.NumberText = "00000009";
    EXPECT_TRUE(InputDiffers(input, current));
    input.NumberText = "00000001";
    EXPECT_EQ(CheckEditedPatient(db, input, 3, current.Birthdate).MessageKey, 1245);
    input.NumberText = "12\n34";
    EXPECT_EQ(CheckEditedPatient(db, input, 3, current.Birthdate).MessageKey, 2200);
}

TEST_F(Patients, NewPatientDefaults)
{
    a = sample("A");
    CreatePatient(db, a);
    const PatientInput input = NewPatientDefaults(db, QDate(2024, 2, 29));
    EXPECT_TRUE(input.Name.isEmpty());
    EXPECT_EQ(input.NumberText, "00000002");
    EXPECT_EQ(input.Age, 25);
    EXPECT_EQ(input.Birthdate, QDate(1999, 2, 28));
    EXPECT_EQ(input.Standard, 4); // GLI Global 2022 unless the settings name another set
    EXPECT_EQ(NewPatientDefaults(db, QDate(2024, 2, 29), 1).Standard, 1);
    EXPECT_EQ(NewPatientDefaults(db, QDate(2024, 2, 29), 7).Standard, 0); // no such set
}

// Two workstations open one patient; one changes the weight, the other the
// height afterwards: the second is told, and nothing is lost unless it chooses.
TEST_F(Patients, AnEditSavedMeanwhileIsNeverOverwrittenUnseen)
{
    addTwo();
    Database other;
    ASSERT_TRUE(other.Open(location)) << other.LastError().toStdString();
    PatientRecord first, second;
    ASSERT_TRUE(LoadPatient(db, a.ID, first));
    ASSERT_TRUE(LoadPatient(other, a.ID, second));

    PatientRecord heavier = second;
    heavier.Weight = 72;
    QStringList changes;
    ASSERT_EQ(SavePatientIfUnchanged(other, a.ID, second, heavier, changes), PatientSave::Saved);

    PatientRecord taller = first;
    taller.Height = 172;
    ASSERT_EQ(SavePatientIfUnchanged(db, a.ID, first, taller, changes),
              PatientSave::ChangedMeanwhile);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_TRUE(changes[0].contains("60") && changes[0].contains("72")) << changes[0].toStdString();
    PatientRecord stored;
    ASSERT_TRUE(LoadPatient(db, a.ID, stored));
    EXPECT_EQ(stored.Weight, 72);
    EXPECT_EQ(stored.Height, 165);

    // Chosen over the stored row, the save goes through; the other patient is untouched.
    ASSERT_EQ(SavePatientIfUnchanged(db, a.ID, stored, taller, changes), PatientSave::Saved);
    ASSERT_TRUE(LoadPatient(other, a.ID, stored));
    EXPECT_EQ(stored.Height, 172);
    PatientRecord untouched;
    ASSERT_TRUE(LoadPatient(other, b.ID, untouched));
    EXPECT_EQ(untouched.Height, 165);
}

// The same for a day's diagnosis, with two connections on one real database:
// the second writer is told what the first saved and chooses; a stored file
// larger than its format is refused and kept, never cut. On either engine.
TEST_F(Patients, ADiagnosisSavedMeanwhileIsNeverOverwrittenUnseen)
{
    addTwo();
    Database other;
    ASSERT_TRUE(other.Open(location)) << other.LastError().toStdString();
    const QString day = "2026-03-04";
    const QDateTime now = QDateTime::currentDateTime();
    DiagnosisRecord first, second;
    ASSERT_TRUE(LoadDiagnosis(db, a.ID, day, first));
    ASSERT_TRUE(LoadDiagnosis(other, a.ID, day, second));
    ASSERT_EQ(ConfirmDiagnosis("Dr. Li", "Asthma", now, other, a.ID, day, second),
              DiagnosisSave::Saved);

    QStringList changes;
    ASSERT_EQ(ConfirmDiagnosis("Dr. Wu", "Normal", now, db, a.ID, day, first, nullptr, &changes),
              DiagnosisSave::ChangedMeanwhile);
    EXPECT_TRUE(changes.join('\n').contains("Dr. Li") && changes.join('\n').contains("Asthma"))
        << changes.join('\n').toStdString();
    EXPECT_TRUE(first.Physician.isEmpty()); // still the diagnosis as read
    DiagnosisRecord stored;
    ASSERT_TRUE(LoadDiagnosis(db, a.ID, day, stored));
    EXPECT_EQ(stored.Physician, "Dr. Li");
    ASSERT_EQ(ConfirmDiagnosis("Dr. Wu", "Normal", now, db, a.ID, day, stored, nullptr, &changes),
              DiagnosisSave::Saved);
    ASSERT_TRUE(LoadDiagnosis(other, a.ID, day, second));
    EXPECT_EQ(second.Result, "Normal");
    EXPECT_TRUE(db.Files().Written(a.ID, day + ".dia").isValid());
    // A copy keeps the time of its original, to the second.
    const QDateTime original(QDate(2025, 11, 2), QTime(16, 45, 10));
    ASSERT_TRUE(db.Files().Write(a.ID, "2025-11-02.dia", DiagnosisBytes(second), original));
    EXPECT_EQ(db.Files().Written(a.ID, "2025-11-02.dia").toSecsSinceEpoch(),
              original.toSecsSinceEpoch());
    EXPECT_FALSE(db.Files().Written(a.ID, "2024-01-01.dia").isValid());
    // Both texts empty remove the day's diagnosis.
    ASSERT_EQ(ConfirmDiagnosis("", "", now, other, a.ID, day, second), DiagnosisSave::Saved);
    EXPECT_FALSE(db.Files().Exists(a.ID, day + ".dia"));

    const QByteArray oversize = DiagnosisBytes(second) + "tail";
    ASSERT_TRUE(db.Files().Write(a.ID, "2026-03-05.dia", oversize));
    QString error;
    EXPECT_FALSE(LoadDiagnosis(db, a.ID, "2026-03-05", stored, &error));
    EXPECT_TRUE(error.contains("650")) << error.toStdString();
    EXPECT_EQ(ConfirmDiagnosis("Dr. Wu", "x", now, db, a.ID, "2026-03-05", stored, &error),
              DiagnosisSave::NotWritten);
    QByteArray kept;
    if (db.Files().InDatabase()) {
        ASSERT_TRUE(db.Files().Read(a.ID, "2026-03-05.dia", kept));
    } else {
        QFile file(AppPaths::PatientCaseFolder(a.ID) + "/2026-03-05.dia");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        kept = file.readAll();
    }
    EXPECT_EQ(kept, oversize);
}
