#include "core/records/grade_overrides.h"

#include "core/measure/test_file_reader.h"
#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/schema_upgrade.h"

#include <QSqlQuery>

#include <algorithm>

std::vector<GradeOverride> LoadGradeOverrides(Database& db, int id, const QString& day)
{
    std::vector<GradeOverride> reviews;
    QSqlQuery query(db.Connection());
    query.prepare("SELECT DataName, Session, Maneuver, Acceptable, Grade, Reason, UserName, "
                  "OverriddenAt FROM GradeOverride WHERE ID = ? AND TestDay = ?");
    query.addBindValue(id);
    query.addBindValue(day);
    if (!query.exec())
        return reviews;
    while (query.next()) {
        GradeOverride r;
        r.dataName = query.value(0).toString();
        r.session = query.value(1).toInt();
        r.maneuver = query.value(2).toInt();
        r.acceptable = query.value(3).toInt() != 0;
        const QString grade = query.value(4).toString();
        if (grade.size() == 1 && grade[0] >= 'A' && grade[0] <= 'F')
            r.grade = grade[0].toLatin1();
        r.reason = query.value(5).toString();
        r.user = query.value(6).toString();
        r.at = query.value(7).toString();
        reviews.push_back(r);
    }
    std::sort(reviews.begin(), reviews.end(), [](const GradeOverride& a, const GradeOverride& b) {
        return TestFileNumber(a.dataName) < TestFileNumber(b.dataName);
    });
    return reviews;
}

bool SaveGradeOverride(Database& db, int id, const QString& day, const GradeOverride& r)
{
    return db.Execute("DELETE FROM GradeOverride WHERE ID = ? AND DataName = ?",
                      {id, r.dataName}) &&
           db.Execute("INSERT INTO GradeOverride (ID, DataName, TestDay, Session, Maneuver, "
                      "Acceptable, Grade, Reason, UserName, OverriddenAt) VALUES (?, ?, ?, ?, ?, "
                      "?, ?, ?, ?, ?)",
                      {id, r.dataName, day, r.session, r.maneuver, r.acceptable ? 1 : 0,
                       r.grade ? QVariant(QString(QChar(*r.grade))) : QVariant(QString()),
                       r.reason, r.user, r.at});
}

bool FindStoredBlow(Database& db, int id, const QString& day, int session, int maneuver,
                    QString& dataName, int& testType)
{
    int y = 0, m = 0, d = 0;
    if (!SplitDay(day, y, m, d))
        return false;
    QSqlQuery query(db.Connection());
    query.prepare("SELECT DataName, TestType, Session, Maneuver FROM CaseInfo WHERE ID = ? AND "
                  "YEAR(TestTime) = ? AND MONTH(TestTime) = ? AND DAY(TestTime) = ?");
    for (const QVariant& value : {QVariant(id), QVariant(y), QVariant(m), QVariant(d)})
        query.addBindValue(value);
    if (!query.exec())
        return false;
    while (query.next()) {
        const QString name = query.value(0).toString();
        // A row stored without a session is a session of one blow, as the day's results read it.
        const int rowSession =
            query.value(2).isNull() ? TestFileNumber(name) : query.value(2).toInt();
        const int rowManeuver = query.value(3).isNull() ? 1 : query.value(3).toInt();
        if (IsTestFileName(name) && rowSession == session && rowManeuver == maneuver) {
            dataName = name;
            testType = query.value(1).toInt();
            return true;
        }
    }
    return false;
}
