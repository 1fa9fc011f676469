#include "core/exchange/imported_patient.h"

#include "core/records/database.h"
#include "core/records/recordset.h"

int PatientIdOfNumber(Database& db, const QString& number, int* count)
{
    Recordset rs(db);
    if (!rs.Open("SELECT ID FROM UserInfo WHERE ptID = ? ORDER BY ID", {number})) {
        if (count)
            *count = 0;
        return -1;
    }
    const int rows = rs.GetRecordCount();
    if (count)
        *count = rows;
    if (rows <= 0)
        return 0;
    rs.MoveFirst();
    int id = 0;
    rs.GetFieldValue("ID", id);
    return id;
}

bool InsertPatientKeepingNumber(Database& db, PatientRecord& record)
{
    PatientRecord r = record;
    r.ClipTexts();
    r.ID = LastPatientId(db) + 1;
    r.Password = "586";
    r.PasswordFlag = 1;
    // The same columns and initial password as the editor's new patient.
    const bool ok = db.Execute(
        "insert into UserInfo(ID, ptID, LastName, FirstName, Gender,Birthdate,Height,Weight,"
        "Nation, Smoke, Address, Postalcode, City, Job, UserPassWord, PassWordFlag, Standard) "
        "values(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        {r.ID, r.PatientNumber, r.Name, r.Name, r.Gender, r.Birthdate.toString("yyyy-MM-dd"),
         r.Height, r.Weight, r.Nation, r.Smoker ? 1 : 0, r.Address, r.Postalcode, r.City, r.Job,
         r.Password, r.PasswordFlag, r.Standard});
    if (ok)
        record = r;
    return ok;
}
