#pragma once
// Brings a database made by an earlier version up to date, in place:
// CaseInfo gains Session, Maneuver and Phase, and the reference set and BTPS
// of each test (RefStandard, RefVersion, Btps); UserInfo gains Ethnic; the
// tables SessionDetail and PhaseChange are made from the built-in schema. A
// row from before becomes a session of one manoeuvre (its own file number),
// phase pre; its reference set and BTPS stay NULL, "not stored". Only
// portable SQL (ALTER TABLE ... ADD COLUMN, CREATE TABLE, UPDATE).
#include "core/measure/test_store.h" // the phases

class Database;
class QString;

// Adds what is missing; a database already up to date is left as it is.
// False with `error` set when a change could not be made (nothing half done).
bool UpgradeSchema(Database& db, QString* error);

// The number of a "<n>.dt" name, or 0.
int TestFileNumber(const QString& dataName);
