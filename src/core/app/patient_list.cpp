#include "core/app/patient_list.h"

#include "core/app/lang_text.h"
#include "core/app/text_limit.h"
#include "core/records/database.h"

#include <QDate>
#include <QHash>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {
constexpr int kBuiltinGroups = 10;
constexpr int kFirstGroupText = 1181;

QString withoutColon(QString text)
{
    text = text.trimmed();
    if (text.endsWith(':') || text.endsWith(QChar(0xFF1A)))
        text.chop(1);
    return text;
}
// Built-in groups show their language name, the others the name the user typed.
QString groupName(int groupId, const QString& storedName)
{
    if (groupId >= 1 && groupId <= kBuiltinGroups)
        return GetLangText("USER MANAGE", kFirstGroupText + groupId - 1);
    return storedName;
}
} // namespace

QStringList PatientListHeaders()
{
    QStringList headers{QString()};
    for (int id : {104, 105, 106, 107, 108, 109, 110})
        headers << withoutColon(GetLangText("CASE", id));
    return headers;
}

std::vector<PatientListRow> ReadPatientList(Database& db, int onlyId)
{
    std::vector<PatientListRow> rows;
    if (!db.IsOpen())
        return rows;
    QSqlDatabase connection = db.Connection();

    QHash<int, QString> groups;
    QSqlQuery race(connection);
    race.setForwardOnly(true);
    if (race.exec("SELECT ID, Nation FROM Race")) {
        while (race.next()) {
            const int id = race.value(0).toInt();
            groups.insert(id, groupName(id, race.value(1).toString()));
        }
    }
    const QString male = GetLangText("CASE", 122);
    const QString female = GetLangText("CASE", 123);
    const int thisYear = QDate::currentDate().year();

    QSqlQuery query(connection);
    query.setForwardOnly(true);
    const QString columns = "SELECT ID, ptID, FirstName, Gender, Birthdate, Height, Weight, Nation "
                            "FROM UserInfo ";
    if (onlyId > 0) {
        query.prepare(columns + "WHERE ID = ?");
        query.addBindValue(onlyId);
    } else {
        query.prepare(columns + "ORDER BY rowid");
    }
    if (!query.exec())
        return rows;
    while (query.next()) {
        PatientListRow row;
        row.id = query.value(0).toInt();
        row.number = query.value(1).toString();
        row.name = TextLimit::Left(query.value(2).toString(), 40);
        row.gender = query.value(3).toInt() == 0 ? male : female;
        const int birthYear = query.value(4).toString().left(4).toInt();
        row.age = birthYear > 0 ? qMax(0, thisYear - birthYear) : 0;
        row.height = query.value(5).toInt();
        row.weight = query.value(6).toInt();
        row.nation = groups.value(query.value(7).toInt());
        rows.push_back(std::move(row));
    }
    return rows;
}
