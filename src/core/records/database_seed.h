#pragma once
#include <QSqlDatabase>
#include <QString>

// Builds a new data.mdb: the schema, the ten built-in nation groups, the 23
// corrected parameter names with neutral corrections, and the reference
// equations. Works on an open, empty connection; returns false with `error` set.
bool CreateSeededDatabase(QSqlDatabase& db, QString* error);

// Names of the built-in groups (ID 1 to 10) and of the corrected parameters, in table order.
extern const char* const kBuiltinGroupNames[10];
extern const char* const kCorrectedParameterNames[23];
