#include "core/records/patient_record.h"

#include <QVariant>

#include "core/records/database.h"
#include "core/records/patient_numbers.h"
#include "core/records/recordset.h"
#include "core/app/lang_text.h"
#include "core/app/text_limit.h"

void PatientRecord::ClipTexts()
{
    // Limits count characters: a character outside the basic plane is never halved.
    Address = TextLimit::Left(Address, kAddressLength);
    Postalcode = TextLimit::Left(Postalcode, kPostalcodeLength);
    City = TextLimit::Left(City, kCityLength);
    Job = TextLimit::Left(Job, kJobLength);
    Name = TextLimit::Left(Name, kNameLength);
    Password = TextLimit::Left(Password, kPasswordLength);
}

int AgeFromBirthdate(const QDate& birthdate, const QDate& today)
{
    return birthdate.isValid() ? today.year() - birthdate.year() : 0;
}

PatientRecord PatientOnDay(const PatientRecord& patient, const QDate& day)
{
    PatientRecord onDay = patient;
    onDay.AgeDay = day;
    if (day.isValid() && patient.Birthdate.isValid())
        onDay.Age = AgeFromBirthdate(patient.Birthdate, day);
    return onDay;
}

namespace {

// Not chosen is stored as NULL, as databases from before the column hold it.
QVariant ethnicValue(int ethnic)
{
    return ethnic >= 1 && ethnic <= 5 ? QVariant(ethnic) : QVariant();
}

// The Birthdate column comes back as "yyyy-MM-dd HH:mm:ss" or as the text it was written with.
QDate parseBirthdate(const QString& text)
{
    const QString day = text.left(10);
    QDate date = QDate::fromString(day, "yyyy-MM-dd");
    if (!date.isValid())
        date = QDate::fromString(text.section(' ', 0, 0), "yyyy-M-d");
    return date;
}

} // namespace

bool LoadPatient(Database& db, int id, PatientRecord& record)
{
    Recordset rs(db);
    rs.Open("SELECT * FROM UserInfo WHERE ID = ?", {id});
    if (rs.GetRecordCount() <= 0)
        return false;
    rs.MoveFirst();
    PatientRecord loaded;
    QString birthdate;
    int smoke = 0;
    rs.GetFieldValue("ID", loaded.ID);
    rs.GetFieldValue("ptID", loaded.PatientNumber);
    rs.GetFieldValue("Gender", loaded.Gender);
    rs.GetFieldValue("Birthdate", birthdate);
    rs.GetFieldValue("Height", loaded.Height);
    rs.GetFieldValue("Weight", loaded.Weight);
    rs.GetFieldValue("Nation", loaded.Nation);
    rs.GetFieldValue("Smoke", smoke);
    rs.GetFieldValue("Address", loaded.Address);
    rs.GetFieldValue("Postalcode", loaded.Postalcode);
    rs.GetFieldValue("City", loaded.City);
    rs.GetFieldValue("Job", loaded.Job);
    rs.GetFieldValue("Standard", loaded.Standard);
    rs.GetFieldValue("Ethnic", loaded.Ethnic);
    rs.GetFieldValue("FirstName", loaded.Name);
    rs.GetFieldValue("UserPassWord", loaded.Password);
    rs.GetFieldValue("PassWordFlag", loaded.PasswordFlag);
    loaded.Smoker = smoke == 1;
    loaded.Birthdate = parseBirthdate(birthdate);
    loaded.Age = AgeFromBirthdate(loaded.Birthdate);
    loaded.ClipTexts();
    record = loaded;
    return true;
}

bool SavePatientDemographics(Database& db, int id, const PatientRecord& record)
{
    PatientRecord r = record;
    r.ClipTexts();
    return db.Execute("update UserInfo set Birthdate = ?, Gender = ?, Height = ?, Weight = ?, "
                      "\t\tNation = ?, Smoke = ?, Standard = ?, Address = ?, Postalcode = ?, "
                      "City = ?,\t\tJob = ?, ptID = ?, Ethnic = ? WHERE ID = ?",
                      {r.Birthdate.toString("yyyy-MM-dd"), r.Gender, r.Height, r.Weight, r.Nation,
                       r.Smoker ? 1 : 0, r.Standard, r.Address, r.Postalcode, r.City, r.Job,
                       r.PatientNumber, ethnicValue(r.Ethnic), id});
}

bool SavePatientName(Database& db, int id, const QString& name, int passwordFlag,
                     const QString& password)
{
    if (id == -1)
        return false;
    const QString clippedName = TextLimit::Left(name, PatientRecord::kNameLength);
    return db.Execute("update UserInfo set LastName = ?, FirstName = ?, PassWordFlag = ?, "
                      "\t\tUserPassWord = ? WHERE ID = ?",
                      {clippedName, clippedName, passwordFlag,
                       TextLimit::Left(password, PatientRecord::kPasswordLength), id});
}

namespace {

// The fields a save writes that differ between `was` and `now`, as the user reads them.
QStringList differences(const PatientRecord& was, const PatientRecord& now)
{
    QStringList out;
    const auto note = [&out](const QString& label, const QString& a, const QString& b) {
        if (a != b)
            out << QString("%1 %2 -> %3").arg(label, a, b);
    };
    const auto text = [](int n) { return QString::number(n); };
    note(GetLangText("CASE", 105), was.Name, now.Name);
    note(GetLangText("CASE", 104), was.PatientNumber, now.PatientNumber);
    note(GetLangText("CASE", 106), text(was.Gender), text(now.Gender));
    note(GetLangText("CASE", 108), text(was.Height), text(now.Height));
    note(GetLangText("CASE", 109), text(was.Weight), text(now.Weight));
    note(GetLangText("CASE", 110), text(was.Nation), text(now.Nation));
    note("Birthdate", was.Birthdate.toString(Qt::ISODate), now.Birthdate.toString(Qt::ISODate));
    note("Smoker", text(was.Smoker), text(now.Smoker));
    note("Standard", text(was.Standard), text(now.Standard));
    note("Ethnic", text(was.Ethnic), text(now.Ethnic));
    note("Address", was.Address, now.Address);
    note("Postalcode", was.Postalcode, now.Postalcode);
    note("City", was.City, now.City);
    note("Job", was.Job, now.Job);
    if (was.Password != now.Password || was.PasswordFlag != now.PasswordFlag)
        out << "Password";
    return out;
}

} // namespace

PatientSave SavePatientIfUnchanged(Database& db, int id, const PatientRecord& read,
                                   const PatientRecord& changed, QStringList& changes)
{
    changes.clear();
    if (!db.BeginTransaction())
        return PatientSave::Failed;
    // SQLite's transaction holds the write lock already; a server locks the row.
    if (db.IsServer() && !db.Execute("SELECT ID FROM UserInfo WHERE ID = ? FOR UPDATE", {id})) {
        db.Rollback();
        return PatientSave::Failed;
    }
    PatientRecord stored;
    if (!LoadPatient(db, id, stored)) {
        db.Rollback();
        return PatientSave::Failed;
    }
    PatientRecord before = read;
    before.ClipTexts();
    changes = differences(before, stored);
    if (!changes.isEmpty()) {
        db.Rollback();
        return PatientSave::ChangedMeanwhile;
    }
    if (SavePatientDemographics(db, id, changed) &&
        SavePatientName(db, id, changed.Name, changed.PasswordFlag, changed.Password) &&
        db.Commit())
        return PatientSave::Saved;
    db.Rollback();
    return PatientSave::Failed;
}

bool ReadPatientName(Database& db, int id, PatientName& out)
{
    Recordset rs(db);
    rs.Open("SELECT * FROM UserInfo WHERE ID = ?", {id});
    if (rs.GetRecordCount() <= 0)
        return false;
    rs.MoveFirst();
    rs.GetFieldValue("FirstName", out.Name);
    rs.GetFieldValue("PassWordFlag", out.PasswordFlag);
    rs.GetFieldValue("UserPassWord", out.Password);
    out.Name = TextLimit::Left(out.Name, PatientRecord::kNameLength);
    out.Password = TextLimit::Left(out.Password, PatientRecord::kPasswordLength);
    return true;
}

bool PatientNumberTaken(Database& db, const QString& ptID, int id)
{
    Recordset rs(db);
    rs.Open("SELECT * FROM UserInfo WHERE ptID = ? AND ID <> ?", {ptID, id});
    return rs.GetRecordCount() > 0;
}

int LastPatientId(Database& db)
{
    // ID is the table's row key, so the last row in table order is the one with the largest ID;
    // asking for that row alone spares walking the whole table.
    Recordset rs(db);
    rs.Open("SELECT ID FROM UserInfo ORDER BY ID DESC LIMIT 1");
    if (rs.GetRecordCount() <= 0)
        return 0;
    rs.MoveFirst();
    int id = 0;
    rs.GetFieldValue("ID", id);
    return id;
}

namespace {

// One attempt at the next key; 0 on failure (the transaction is rolled back).
// `retry` tells whether another workstation got in between (the next key or the number
// derived from it was taken after we read them): then the caller tries again.
int insertNextPatient(Database& db, PatientRecord& record, const QString& chosenNumber,
                      bool& retry)
{
    retry = false;
    if (!db.BeginTransaction())
        return 0;
    const int id = LastPatientId(db) + 1;
    PatientRecord r = record;
    r.ClipTexts();
    r.ID = id;
    // A number derived from the key may have been given to a patient by hand already.
    r.PatientNumber = chosenNumber.isEmpty() ? NextFreePatientNumber(db, id) : chosenNumber;
    if (PatientNumberTaken(db, r.PatientNumber, 0)) {
        db.Rollback();
        // A number the user chose stays refused; one derived from the key was taken by
        // a workstation that committed after we read the key.
        retry = chosenNumber.isEmpty();
        return 0;
    }
    r.Password = "586";
    r.PasswordFlag = 1;
    const bool ok = db.Execute(
        "insert into UserInfo(ID, ptID, LastName, FirstName, Gender,Birthdate,Height,Weight,"
        "\t\t\tNation, Smoke, Address, Postalcode, City, Job, UserPassWord, PassWordFlag, "
        "Standard, Ethnic) \t\t\tvalues(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '586', 1, ?, ?)",
        {id, r.PatientNumber, r.Name, r.Name, r.Gender, r.Birthdate.toString("yyyy-MM-dd"),
         r.Height, r.Weight, r.Nation, r.Smoker ? 1 : 0, r.Address, r.Postalcode, r.City, r.Job,
         r.Standard, ethnicValue(r.Ethnic)});
    if (!ok || !db.Commit()) {
        db.Rollback();
        retry = db.LastErrorWasConflict();
        return 0;
    }
    record = r;
    return id;
}

} // namespace

int CreatePatient(Database& db, PatientRecord& record, const QString& chosenNumber)
{
    // Another workstation may take the same next key between our read and our
    // insert; the key's uniqueness refuses the second insert, which then tries
    // the next number.
    constexpr int kAttempts = 50;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        bool retry = false;
        const int id = insertNextPatient(db, record, chosenNumber, retry);
        if (id > 0 || !retry)
            return id;
    }
    return 0;
}
