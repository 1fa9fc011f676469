#pragma once
// Brings a database made before sessions and GLI sets up to date, in place:
// CaseInfo gains Session, Maneuver and Phase, UserInfo gains Ethnic. A row
// from before becomes a session of one manoeuvre (its own file number),
// phase pre. Only portable SQL (ALTER TABLE ... ADD COLUMN, UPDATE).
#include "core/measure/test_store.h" // the phases

class Database;
class QString;

// Adds what is missing; a database already up to date is left as it is.
// False with `error` set when a change could not be made (nothing half done).
bool UpgradeSchema(Database& db, QString* error);

// The number of a "<n>.dt" name, or 0.
int TestFileNumber(const QString& dataName);
