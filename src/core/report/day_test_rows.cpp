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

std::vector<DayTestRow> ReadDayTestRows(Database& db, int id, int testType, const QString& day)
{
    std::vector<DayTestRow> rows;
    QString from, to;
    if (id < 1 || !db.IsOpen() || !dayRange(day, from, to))
        return rows;
    QSqlQuery query(db.Connection());
    query.setForwardOnly(true);
    query.prepare("SELECT DataName, TestTime, FVC, FEV1, PEF, VC, MVV, Duration FROM CaseInfo "
                  "WHERE ID = ? AND TestType = ? AND TestTime >= ? AND TestTime < ? "
                  "ORDER BY TestTime ASC");
    query.addBindValue(id);
    query.addBindValue(testType);
    query.addBindValue(from);
    query.addBindValue(to);
    if (!query.exec())
        return rows;
    while (query.next()) {
        DayTestRow row;
        row.dataName = query.value(0).toString();
        row.testTime = query.value(1).toString().replace('T', ' ').left(19);
        row.fvc = query.value(2).toDouble();
        row.fev1 = query.value(3).toDouble();
        row.pef = query.value(4).toDouble();
        row.vc = query.value(5).toDouble();
        row.mvv = query.value(6).toDouble();
        row.duration = query.value(7).toInt();
        rows.push_back(row);
    }
    return rows;
}

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
