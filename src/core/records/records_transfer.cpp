#include "core/records/records_transfer.h"

#include "core/measure/test_file_reader.h"
#include "core/records/case_file_store.h"
#include "core/records/database.h"
#include "core/records/database_seed.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <utility>

namespace {

// Seed tables first, then patients and their tests, then who did what: the
// accounts, the audit trail (its rows as they are, so its chain still holds),
// the operators, signatures and reviews, the calibration log.
const char* const kTables[] = {"Race",        "Nation",   "ParamName",     "Predict",
                               "UserInfo",    "CaseInfo", "SessionDetail", "PhaseChange",
                               "Account",     "AuditLog", "TestOperator",  "DaySignOff",
                               "GradeOverride", "CalibrationLog"};

// A column name as the statement must spell it: plain names fold to the
// server's lower case like the schema's own; others ("FEV1/FVC") are quoted.
QString columnName(const QString& name)
{
    static const QRegularExpression plain("^[A-Za-z_][A-Za-z0-9_]*$");
    return plain.match(name).hasMatch() ? name : '"' + QString(name).replace('"', "\"\"") + '"';
}

// A value in the type the target column declares: SQLite keeps whatever was
// written, a server column takes only its own type.
QVariant asDeclared(const QVariant& value, const QString& declared)
{
    if (value.isNull())
        return value;
    if (declared == "TEXT" || declared == "DATE" || declared == "DATETIME")
        return value.toString();
    if (declared == "INTEGER")
        return value.toLongLong();
    if (declared == "FLOAT" || declared == "DOUBLE")
        return value.toDouble();
    return value;
}

int countRows(Database& db, const QString& table)
{
    QSqlQuery query(db.Connection());
    if (!query.exec("SELECT count(*) FROM " + table) || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool fail(TransferReport& report, const QString& text)
{
    report.error = text;
    return false;
}

bool copyTable(Database& source, Database& target, const QString& table,
               const QHash<QString, QString>& declared, TransferReport& report)
{
    QSqlQuery rows(source.Connection());
    rows.setForwardOnly(true);
    if (!rows.exec("SELECT * FROM " + table))
        return fail(report, table + ": " + rows.lastError().text());
    const QSqlRecord columns = rows.record();
    QStringList names, marks;
    for (int i = 0; i < columns.count(); ++i) {
        names << columnName(columns.fieldName(i));
        marks << "?";
    }
    const QString insert = QString("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(table, names.join(", "), marks.join(", "));
    int copied = 0;
    while (rows.next()) {
        QVariantList values;
        for (int i = 0; i < columns.count(); ++i)
            values << asDeclared(rows.value(i), declared.value(columns.fieldName(i).toLower()));
        if (!target.Execute(insert, values))
            return fail(report, table + ": " + target.LastError());
        ++copied;
    }
    report.rows[table] = copied;
    return true;
}

bool copyFiles(Database& source, Database& target, TransferReport& report,
               QList<std::pair<int, QString>>& copied)
{
    for (int id : source.Files().CaseIds()) {
        for (const QString& name : source.Files().Names(id)) {
            QByteArray bytes;
            if (!source.Files().Read(id, name, bytes))
                return fail(report, QString("%1/%2: %3").arg(id).arg(name, source.Files().LastError()));
            if (!target.Files().Write(id, name, bytes, source.Files().Written(id, name)))
                return fail(report, QString("%1/%2: %3").arg(id).arg(name, target.Files().LastError()));
            copied << std::make_pair(id, name);
            ++report.files;
            report.bytes += bytes.size();
        }
    }
    return true;
}

} // namespace

bool TransferRecords(Database& source, Database& target, TransferReport& report)
{
    report = TransferReport();
    if (!source.IsOpen() || !target.IsOpen())
        return fail(report, "Both databases must be open.");
    if (countRows(target, "UserInfo") != 0 || countRows(target, "CaseInfo") != 0 ||
        countRows(target, "Account") != 0 || countRows(target, "AuditLog") != 0 ||
        !target.Files().CaseIds().isEmpty())
        return fail(report,
                    "The target database already holds patients, tests, accounts or files.");

    const QHash<QString, QString> declared = SchemaDeclaredTypes();
    if (!target.BeginTransaction())
        return fail(report, "Cannot start a transaction: " + target.LastError());
    bool ok = true;
    for (const char* table : {"Nation", "ParamName", "Predict", "Race"})
        ok = ok && (target.Execute(QString("DELETE FROM %1").arg(table)) ||
                    fail(report, target.LastError()));
    for (const char* table : kTables)
        ok = ok && copyTable(source, target, table, declared, report);
    QList<std::pair<int, QString>> files;
    ok = ok && copyFiles(source, target, report, files);
    if (ok && target.IsServer()) {
        // New groups continue after the largest copied number.
        ok = target.Execute("SELECT setval(pg_get_serial_sequence('race', 'id'), "
                            "(SELECT coalesce(max(ID), 0) + 1 FROM Race), false)") ||
             fail(report, target.LastError());
    }
    if (!ok || !target.Commit()) {
        if (report.error.isEmpty())
            report.error = "Cannot commit: " + target.LastError();
        target.Rollback();
        return false;
    }

    // Read everything back from the committed target.
    for (const char* table : kTables) {
        const int there = countRows(target, table);
        const int here = countRows(source, table);
        if (there != here || there != report.rows.value(table))
            return fail(report, QString("%1: %2 rows in the folder, %3 on the server")
                                    .arg(table)
                                    .arg(here)
                                    .arg(there));
    }
    for (const auto& [id, name] : files) {
        QByteArray original, copy;
        if (!source.Files().Read(id, name, original) || !target.Files().Read(id, name, copy) ||
            original != copy)
            return fail(report, QString("%1/%2 differs after the copy").arg(id).arg(name));
    }
    return true;
}

bool CheckCaseData(Database& db, CaseCheckReport& report)
{
    report = CaseCheckReport();
    QSqlQuery rows(db.Connection());
    if (!rows.exec("SELECT ID, DataName FROM CaseInfo ORDER BY ID, DataName"))
        return false;
    QSet<QString> named;
    while (rows.next()) {
        ++report.rows;
        const int id = rows.value(0).toInt();
        const QString name = rows.value(1).toString();
        const QString key = QString("%1/%2").arg(id).arg(name);
        named.insert(key);
        QByteArray bytes;
        TestFileHeader header;
        ManeuverResult record;
        if (!IsTestFileName(name) || !db.Files().Read(id, name, bytes))
            report.missing << key;
        else if (!ParseTestHead(bytes, header, record))
            report.unreadable << key;
    }
    for (int id : db.Files().CaseIds()) {
        for (const QString& name : db.Files().Names(id)) {
            const QString key = QString("%1/%2").arg(id).arg(name);
            if (name.endsWith(".dt") && !named.contains(key))
                report.orphans << key;
        }
    }
    report.orphans.sort();
    return true;
}
