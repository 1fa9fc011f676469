#include "core/records/database_seed.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <map>
#include <tuple>

const char* const kBuiltinGroupNames[10] = {
    "Caucasian",    "Oriental",     "Chinese",  "Japanese",        "Polynesian",
    "North Indian", "South Indian", "Pakistan", "African descent", "Not defined"};

const char* const kCorrectedParameterNames[23] = {
    "ERV",  "EVC",      "FEF25",    "FEF2575", "FEF50", "FEF75", "FEV1",  "FEV1/FEV6",
    "FEV1/FVC", "FEV1/VC", "FEV3",  "FEV3/FVC", "FEV6", "FIV1",  "FIV1/FIVC", "FIVC",
    "FVC",  "IC",       "IVC",      "MVV",     "PEF",   "PIF",   "VC"};

namespace {

QString readResource(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

bool run(QSqlQuery& query, const QString& sql, QString* error)
{
    if (query.exec(sql))
        return true;
    if (error)
        *error = query.lastError().text() + " in: " + sql;
    return false;
}

// One Predict row: the ten slots of each of the six terms.
struct EquationRow {
    QString terms[6][10];
};

bool insertEquations(QSqlDatabase& db, QString* error)
{
    const QString csv = readResource(":/seed/predict_equations.csv");
    if (csv.isEmpty()) {
        if (error)
            *error = "The built-in reference equations are missing.";
        return false;
    }
    // (standard, gender, lower, upper) -> row, ordered as the bands are.
    std::map<std::tuple<int, int, int, int>, EquationRow> rows;
    const QStringList lines = csv.split('\n', Qt::SkipEmptyParts);
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList cells = lines[i].trimmed().split(',');
        if (cells.size() < 11)
            continue;
        const auto key = std::make_tuple(cells[0].toInt(), cells[1].toInt(), cells[2].toInt(),
                                         cells[3].toInt());
        const int slot = cells[4].toInt();
        if (slot < 0 || slot > 9)
            continue;
        for (int term = 0; term < 6; ++term)
            rows[key].terms[term][slot] = cells[5 + term].trimmed();
    }
    QSqlQuery query(db);
    query.prepare("INSERT INTO Predict (Type, Gender, Age_lower_limit, Age_upper_limit, "
                  "\"FEV1/FVC\", Param_Constant, Param_Hight, Param_Age, Param_Age_Age, "
                  "Param_Height_Height, Param_Surface) VALUES (?,?,?,?,0,?,?,?,?,?,?)");
    for (const auto& [key, row] : rows) {
        query.addBindValue(std::get<0>(key));
        query.addBindValue(std::get<1>(key));
        query.addBindValue(std::get<2>(key));
        query.addBindValue(std::get<3>(key));
        for (const auto& term : row.terms) {
            QStringList slotValues;
            for (const auto& value : term)
                slotValues << (value.isEmpty() ? QString("0") : value);
            query.addBindValue(slotValues.join('/'));
        }
        if (!query.exec()) {
            if (error)
                *error = query.lastError().text();
            return false;
        }
    }
    return true;
}

// What a PostgreSQL server needs beyond the translated schema. The day parts
// are read from the "YYYY-MM-DD ..." text as the SQLite functions read them;
// anything else gives NULL.
const char* const kServerExtras[] = {
    "CREATE FUNCTION year(text) RETURNS integer LANGUAGE sql IMMUTABLE AS "
    "$$ SELECT substring($1 from '^\\s*(\\d{1,9})-\\d{1,9}-\\d{1,9}')::integer $$",
    "CREATE FUNCTION month(text) RETURNS integer LANGUAGE sql IMMUTABLE AS "
    "$$ SELECT substring($1 from '^\\s*\\d{1,9}-(\\d{1,9})-\\d{1,9}')::integer $$",
    "CREATE FUNCTION day(text) RETURNS integer LANGUAGE sql IMMUTABLE AS "
    "$$ SELECT substring($1 from '^\\s*\\d{1,9}-\\d{1,9}-(\\d{1,9})')::integer $$",
    // The bytes of each test and diagnosis file, as the file would hold them.
    // Written: when the bytes were last written (UTC, ISO 8601), as a file's time.
    "CREATE TABLE CaseData (ID INTEGER NOT NULL, Name TEXT NOT NULL, Bytes BYTEA NOT NULL, "
    "Written TEXT, PRIMARY KEY (ID, Name))",
    // Other workstations hear of every change to patients and tests.
    "CREATE FUNCTION tav_records_changed() RETURNS trigger LANGUAGE plpgsql AS "
    "$$ BEGIN PERFORM pg_notify('tav_records', lower(TG_TABLE_NAME)); RETURN NULL; END $$",
    "CREATE TRIGGER UserInfo_changed AFTER INSERT OR UPDATE OR DELETE ON UserInfo "
    "FOR EACH STATEMENT EXECUTE FUNCTION tav_records_changed()",
    "CREATE TRIGGER CaseInfo_changed AFTER INSERT OR UPDATE OR DELETE ON CaseInfo "
    "FOR EACH STATEMENT EXECUTE FUNCTION tav_records_changed()",
};

// SQLite type names the server does not know, and the key PostgreSQL numbers itself.
QString serverStatement(QString statement)
{
    statement.replace(QRegularExpression("INTEGER PRIMARY KEY AUTOINCREMENT"), "SERIAL PRIMARY KEY");
    statement.replace(QRegularExpression("\\bDATETIME\\b"), "TEXT");
    statement.replace(QRegularExpression("\\bDATE\\b"), "TEXT");
    statement.replace(QRegularExpression("\\bDOUBLE\\b"), "DOUBLE PRECISION");
    statement.replace(QRegularExpression("\\bBLOB\\b"), "BYTEA");
    return statement;
}

} // namespace

QStringList SchemaStatements(SchemaDialect dialect)
{
    const QString schema = readResource(":/seed/schema.sql");
    QStringList statements;
    QString current;
    for (const QString& line : schema.split('\n')) {
        if (line.trimmed().startsWith("--"))
            continue;
        current += line + '\n';
        if (line.trimmed().endsWith(';')) {
            statements << (dialect == SchemaDialect::PostgreSql ? serverStatement(current)
                                                                 : current);
            current.clear();
        }
    }
    if (dialect == SchemaDialect::PostgreSql && !statements.isEmpty()) {
        for (const char* extra : kServerExtras)
            statements << QString::fromUtf8(extra);
    }
    return statements;
}

QHash<QString, QString> SchemaDeclaredTypes()
{
    QHash<QString, QString> types;
    static const QRegularExpression column(
        "^\\s+(\"[^\"]+\"|\\w+)\\s+([A-Za-z]+)");
    for (const QString& statement : SchemaStatements(SchemaDialect::Sqlite)) {
        if (!statement.trimmed().startsWith("CREATE TABLE", Qt::CaseInsensitive))
            continue;
        for (const QString& line : statement.split('\n')) {
            const QRegularExpressionMatch match = column.match(line);
            if (!match.hasMatch() || match.captured(1).toUpper() == "UNIQUE" ||
                match.captured(1).toUpper() == "PRIMARY")
                continue;
            QString name = match.captured(1).toLower();
            name.remove('"');
            types.insert(name, match.captured(2).toUpper());
        }
    }
    return types;
}

bool CreateSeededDatabase(QSqlDatabase& db, QString* error, SchemaDialect dialect)
{
    QSqlQuery query(db);
    const QStringList statements = SchemaStatements(dialect);
    if (statements.isEmpty()) {
        if (error)
            *error = "The built-in schema is missing.";
        return false;
    }
    if (!db.transaction())
        return false;
    for (const QString& statement : statements) {
        if (!run(query, statement, error)) {
            db.rollback();
            return false;
        }
    }
    query.prepare("INSERT INTO Race (Nation) VALUES (?)");
    for (const char* name : kBuiltinGroupNames) {
        query.addBindValue(QString::fromUtf8(name));
        if (!query.exec()) {
            db.rollback();
            return false;
        }
    }
    query.prepare("INSERT INTO ParamName (ParamName) VALUES (?)");
    for (const char* name : kCorrectedParameterNames) {
        query.addBindValue(QString::fromUtf8(name));
        if (!query.exec()) {
            db.rollback();
            return false;
        }
    }
    query.prepare("INSERT INTO Nation (nNation, ParamName, Multiply, Additive) VALUES (?,?,1,0)");
    for (int group = 1; group <= 10; ++group) {
        for (int param = 1; param <= 23; ++param) {
            query.addBindValue(group);
            query.addBindValue(param);
            if (!query.exec()) {
                db.rollback();
                return false;
            }
        }
    }
    if (!insertEquations(db, error)) {
        db.rollback();
        return false;
    }
    return db.commit();
}
