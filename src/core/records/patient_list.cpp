#include "core/records/patient_list.h"

#include "core/records/nation_groups.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"

#include "core/app/text_limit.h"

#include <QHash>

std::vector<PatientListRow> LoadPatientList(Database& db, const QDate& today)
{
    // The group names are looked up once, not per patient.
    QHash<int, QString> groupNames;
    for (const NationGroup& group : LoadNationGroups(db))
        groupNames.insert(group.ID, group.Name);

    std::vector<PatientListRow> rows;
    Recordset rs(db);
    rs.Open("SELECT * FROM UserInfo");
    const int n = rs.GetRecordCount();
    if (n > 0)
        rs.MoveFirst();
    rows.reserve(n);
    for (int i = 0; i < n; ++i) {
        PatientListRow row;
        QString birthdate;
        rs.GetFieldValue("ID", row.ID);
        rs.GetFieldValue("ptID", row.PatientNumber);
        rs.GetFieldValue("FirstName", row.Name);
        rs.GetFieldValue("Gender", row.Gender);
        rs.GetFieldValue("Birthdate", birthdate);
        rs.GetFieldValue("Height", row.Height);
        rs.GetFieldValue("Weight", row.Weight);
        rs.GetFieldValue("Nation", row.Nation);
        row.Name = TextLimit::Left(row.Name, PatientRecord::kNameLength);
        const QDate birth = QDate::fromString(birthdate.left(10), "yyyy-MM-dd");
        row.Age = std::max(0, AgeFromBirthdate(birth, today));
        row.NationName = groupNames.value(row.Nation);
        rows.push_back(row);
        rs.MoveNext();
    }
    return rows;
}
