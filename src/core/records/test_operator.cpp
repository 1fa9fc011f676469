#include "core/records/test_operator.h"

#include "core/records/database.h"

#include <QSqlQuery>

bool SaveTestOperators(Database& db, int id, const QStringList& dataNames, const TestOperator& op)
{
    for (const QString& name : dataNames)
        if (!db.Execute("DELETE FROM TestOperator WHERE ID = ? AND DataName = ?", {id, name}) ||
            !db.Execute("INSERT INTO TestOperator (ID, DataName, OperatorName, Workstation) "
                        "VALUES (?, ?, ?, ?)",
                        {id, name, op.name, op.workstation}))
            return false;
    return true;
}

QStringList LoadTestOperators(Database& db, int id, const QStringList& dataNames)
{
    QStringList shown;
    for (const QString& name : dataNames) {
        QSqlQuery query(db.Connection());
        query.prepare(
            "SELECT OperatorName, Workstation FROM TestOperator WHERE ID = ? AND DataName = ?");
        query.addBindValue(id);
        query.addBindValue(name);
        if (!query.exec() || !query.next())
            continue;
        const QString workstation = query.value(1).toString();
        const QString one = query.value(0).toString() +
                            (workstation.isEmpty() ? QString() : " (" + workstation + ")");
        if (!shown.contains(one))
            shown << one;
    }
    return shown;
}
