#pragma once
// After a test is stored: who ran it (table TestOperator, printed on the
// report) and the audit row, for the desktop program and tavctl alike. With
// accounts off nothing is written, as before accounts existed.
#include "core/accounts/actor.h"

#include <QString>
#include <QStringList>

class Database;

bool AttributeStoredTests(Database& db, const Actor& actor, int patient, const QString& day,
                          const QStringList& dataNames, QString* error);
