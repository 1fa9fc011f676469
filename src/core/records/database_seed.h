#pragma once
#include <QSqlDatabase>
#include <QHash>
#include <QString>
#include <QStringList>

// The schema is written for SQLite; a PostgreSQL server gets it translated,
// plus the YEAR/MONTH/DAY functions the statements use and the table that
// holds the test and diagnosis bytes.
enum class SchemaDialect { Sqlite, PostgreSql };

// Builds a new data.mdb: the schema, the ten built-in nation groups, the 23
// corrected parameter names with neutral corrections, and the reference
// equations. Works on an open, empty connection; returns false with `error` set.
bool CreateSeededDatabase(QSqlDatabase& db, QString* error,
                          SchemaDialect dialect = SchemaDialect::Sqlite);

// The statements that make the schema in `dialect`.
QStringList SchemaStatements(SchemaDialect dialect);

// Lower-case column name -> type name as the built-in schema declares it ("FLOAT", "DATETIME").
QHash<QString, QString> SchemaDeclaredTypes();

// Names of the built-in groups (ID 1 to 10) and of the corrected parameters, in table order.
extern const char* const kBuiltinGroupNames[10];
extern const char* const kCorrectedParameterNames[23];
