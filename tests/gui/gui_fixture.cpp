#include "gui_fixture.h"

#include "core/records/patient_record.h"

#include <QDir>

int GuiTest::addPatient(const QString& name, int birthYear, int nation)
{
    PatientRecord record;
    record.Name = name;
    record.Birthdate = QDate(birthYear, 3, 15);
    record.Height = 170;
    record.Weight = 70;
    record.Nation = nation;
    const int id = CreatePatient(db, record);
    EXPECT_GT(id, 0) << db.LastError().toStdString();
    return id;
}

void GuiTest::addTest(int id, const QString& dataName, const QString& testTime, int testType)
{
    EXPECT_TRUE(db.Execute(
        "insert into CaseInfo(ID, DataName, TestTime, FVC, PEF, Duration, FEV1, MVV, VC, TestType) "
        "values(?, ?, ?, 4.1, 8.2, 6, 3.3, 0, 0, ?)",
        {id, dataName, testTime, testType}));
    home.write(QString("Case/%1/%2").arg(id).arg(dataName), QByteArray("test"));
}
