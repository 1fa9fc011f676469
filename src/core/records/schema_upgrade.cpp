#include "core/records/schema_upgrade.h"

#include "core/records/database.h"
#include "core/records/database_seed.h"
#include "core/records/recordset.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// Read from the catalogue: a failing probe query would end a server's transaction.
bool hasColumn(Database& db, const QString& table, const QString& column)
{
    return db.ColumnNames(table).contains(column.toLower());
}

struct NewColumn {
    const char* table;
    const char* column;
    const char* type;
};
// Rows from before a column existed hold NULL in it; readers say what that means.
constexpr NewColumn kNewColumns[] = {{"CaseInfo", "Session", "INTEGER"},
                                     {"CaseInfo", "Maneuver", "INTEGER"},
                                     {"CaseInfo", "Phase", "INTEGER"},
                                     {"UserInfo", "Ethnic", "INTEGER"},
                                     {"CaseInfo", "RefStandard", "INTEGER"},
                                     {"CaseInfo", "RefVersion", "TEXT"},
                                     {"CaseInfo", "Btps", "INTEGER"},
                                     {"CaseInfo", "Cues", "TEXT"}};

// Tables newer than the first databases, made as the schema makes them.
constexpr const char* kNewTables[] = {"SessionDetail", "PhaseChange",  "Account",
                                      "AuditLog",      "DaySignOff",   "TestOperator",
                                      "GradeOverride", "CalibrationLog"};

bool hasTable(Database& db, const QString& table)
{
    return !db.ColumnNames(table).isEmpty();
}

// The schema's statements that make `table` (its CREATE TABLE and indexes).
QStringList statementsFor(Database& db, const QString& table)
{
    static const QRegularExpression name("^\\s*CREATE\\s+(?:UNIQUE\\s+)?(?:TABLE|INDEX\\s+\\w+\\s+ON)\\s+(\\w+)",
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList found;
    const SchemaDialect dialect = db.IsServer() ? SchemaDialect::PostgreSql : SchemaDialect::Sqlite;
    for (const QString& statement : SchemaStatements(dialect)) {
        const QRegularExpressionMatch match = name.match(statement);
        if (match.hasMatch() && match.captured(1).compare(table, Qt::CaseInsensitive) == 0)
            found << statement.trimmed().chopped(1); // without the closing ';'
    }
    return found;
}

} // namespace

int TestFileNumber(const QString& dataName)
{
    static const QRegularExpression pattern("^([0-9]{1,9})\\.dt$");
    const QRegularExpressionMatch match = pattern.match(dataName);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

bool UpgradeSchema(Database& db, QString* error)
{
    bool missing = false;
    for (const NewColumn& c : kNewColumns)
        missing = missing || !hasColumn(db, c.table, c.column);
    for (const char* table : kNewTables)
        missing = missing || !hasTable(db, table);
    if (!missing)
        return true;
    const auto fail = [&](const QString& what) {
        db.Rollback();
        if (error)
            *error = what + ": " + db.LastError();
        return false;
    };
    if (!db.BeginTransaction())
        return fail("cannot start the database upgrade");
    for (const NewColumn& c : kNewColumns) {
        // Another program may have added it since the check above.
        if (!hasColumn(db, c.table, c.column) &&
            !db.Execute(QString("ALTER TABLE %1 ADD COLUMN %2 %3").arg(c.table, c.column, c.type)))
            return fail(QString("cannot add %1.%2").arg(c.table, c.column));
    }
    for (const char* table : kNewTables) {
        if (hasTable(db, table))
            continue;
        const QStringList statements = statementsFor(db, table);
        if (statements.isEmpty())
            return fail(QString("the built-in schema has no table %1").arg(table));
        for (const QString& statement : statements)
            if (!db.Execute(statement))
                return fail(QString("cannot make the table %1").arg(table));
    }
    // Each earlier test is a session of its own: one manoeuvre, before any bronchodilator.
    QList<std::pair<int, QString>> rows;
    {
        QSqlQuery query(db.Connection());
        if (!query.exec("SELECT ID, DataName FROM CaseInfo WHERE Session IS NULL"))
            return fail("cannot read the tests to upgrade");
        while (query.next())
            rows.append({query.value(0).toInt(), query.value(1).toString()});
    }
    for (const auto& [id, dataName] : rows) {
        if (!db.Execute("UPDATE CaseInfo SET Session = ?, Maneuver = 1, Phase = ? "
                        "WHERE ID = ? AND DataName = ?",
                        {TestFileNumber(dataName), kPhasePre, id, dataName}))
            return fail("cannot upgrade the test " + dataName);
    }
    if (!db.Commit())
        return fail("cannot finish the database upgrade");
    return true;
}
