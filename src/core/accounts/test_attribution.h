#pragma once
// The rows a stored session carries: who ran each test (table TestOperator,
// printed on the report) and the audit row, for the desktop program and
// tavctl alike. Written inside the session's own transaction
// (SaveContext::sessionRows), so a session is never stored without them.
// With accounts off nothing is written, as before accounts existed.
#include "core/accounts/actor.h"

#include <QString>
#include <QStringList>

#include <functional>

class Database;

std::function<bool(const QStringList& dataNames, QString& error)>
SessionAttribution(Database& db, const Actor& actor, int patient, const QString& day);
