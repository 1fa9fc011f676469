#include "core/report/day_test_rows.h"

#include "core/records/database.h"

#include <QDate>
#include <QSqlQuery>
#include <QVariant>

namespace {
// The day's bounds as text, so the (ID, TestTime) index serves the query.
bool dayRange(const QString& day, QString& from, QString& to)
{
    const QDate date = QDate::fromString(day, "yyyy-MM-dd");
    if (!date.isValid())
        return false;
    from = date.toString("yyyy-MM-dd");
    to = date.addDays(1).toString("yyyy-MM-dd");
    return true;
}
} // namespace

DayTestCounts CountDayTests(Database& db, int id, const QString& day)
{
    DayTestCounts counts;
    QString from, to;
    if (id < 1 || !db.IsOpen() || !dayRange(day, from, to))
        return counts;
    QSqlQuery query(db.Connection());
    query.prepare("SELECT TestType, COUNT(*) FROM CaseInfo "
                  "WHERE ID = ? AND TestTime >= ? AND TestTime < ? GROUP BY TestType");
    query.addBindValue(id);
    query.addBindValue(from);
    query.addBindValue(to);
    if (!query.exec())
        return counts;
    while (query.next()) {
        const int type = query.value(0).toInt();
        if (type >= 0 && type < 3)
            counts.byType[type] = query.value(1).toInt();
    }
    return counts;
}
