#include "core/records/patient_numbers.h"

#include "core/app/lang_text.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {

const char* const kUniqueIndex = "UserInfo_ptID_unique";

// Lower case: a server keeps unquoted names that way.
QStringList indexNames(Database& db)
{
    QStringList names;
    QSqlQuery query(db.Connection());
    if (query.exec(db.IsServer() ? "SELECT indexname FROM pg_indexes "
                                   "WHERE schemaname = current_schema()"
                                 : "SELECT name FROM sqlite_master WHERE type = 'index'"))
        while (query.next())
            names << query.value(0).toString().toLower();
    return names;
}

bool indexExists(Database& db, const QString& name)
{
    return indexNames(db).contains(name.toLower());
}

} // namespace

void PreparePatientTable(Database& db)
{
    if (!db.IsOpen())
        return;
    // Only what is missing is written, so a database that has everything is only read
    // (another program may be holding it for writing).
    const QStringList existing = indexNames(db);
    // The sort columns of the patient list; each index also orders equal values by key.
    for (const char* column : {"FirstName", "Gender", "Birthdate", "Height", "Weight"}) {
        const QString name = QString("UserInfo_%1").arg(column);
        if (!existing.contains(name.toLower()))
            db.Execute(QString("CREATE INDEX %1 ON UserInfo (%2)").arg(name, column));
    }
    if (existing.contains(QString(kUniqueIndex).toLower()) || !FindSharedPatientNumbers(db).empty())
        return;
    if (db.Execute(QString("CREATE UNIQUE INDEX %1 ON UserInfo (ptID)").arg(kUniqueIndex)))
        db.Execute("DROP INDEX IF EXISTS UserInfo_ptID"); // the plain index it replaces
}

bool PatientNumbersEnforced(Database& db)
{
    return db.IsOpen() && indexExists(db, kUniqueIndex);
}

std::vector<SharedPatientNumber> FindSharedPatientNumbers(Database& db)
{
    std::vector<SharedPatientNumber> shared;
    if (!db.IsOpen())
        return shared;
    QSqlQuery query(db.Connection());
    query.setForwardOnly(true);
    if (!query.exec("SELECT ptID, ID FROM UserInfo WHERE ptID IN "
                    "(SELECT ptID FROM UserInfo GROUP BY ptID HAVING COUNT(*) > 1) "
                    "ORDER BY ptID, ID"))
        return shared;
    while (query.next()) {
        const QString number = query.value(0).toString();
        if (shared.empty() || shared.back().Number != number)
            shared.push_back({number, {}});
        shared.back().IDs.push_back(query.value(1).toInt());
    }
    return shared;
}

QString SharedPatientNumbersText(const std::vector<SharedPatientNumber>& shared)
{
    QStringList lines{GetLangText("MESSAGE", 2203)};
    for (const SharedPatientNumber& number : shared) {
        QStringList keys;
        for (int id : number.IDs)
            keys << QString::number(id);
        lines << QString("%1: %2").arg(number.Number, keys.join(", "));
    }
    return lines.join('\n');
}

bool IsValidPatientNumber(const QString& number)
{
    if (number.isEmpty() || number.size() > kPatientNumberLength || number != number.trimmed())
        return false;
    for (const QChar c : number)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return false;
    return true;
}

QString NextFreePatientNumber(Database& db, int key)
{
    for (int candidate = std::max(1, key);; ++candidate) {
        const QString number = QString::asprintf("%08d", candidate);
        if (!PatientNumberTaken(db, number, 0))
            return number;
    }
}
