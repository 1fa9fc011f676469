#pragma once
#include <QString>

#include <vector>

class Database;

// Patient numbers (UserInfo.ptID) are unique. A new database gets a unique index
// from its schema; an older one gets it when it is opened, unless two patients
// already share a number: then both rows stay as they are and the shared
// numbers are listed for the user to resolve.

inline constexpr int kPatientNumberLength = 20;

struct SharedPatientNumber {
    QString Number;
    std::vector<int> IDs; // the patients holding it, in key order
};

// Creates the indexes the patient list sorts and searches by, and the unique index of
// patient numbers when the rows allow it. A read-only file is left as it is.
void PreparePatientTable(Database& db);

// True when the database itself refuses a second patient with a number already taken.
bool PatientNumbersEnforced(Database& db);

// Every number held by more than one patient, in number order.
std::vector<SharedPatientNumber> FindSharedPatientNumbers(Database& db);

// The message that lists them: one line per number with the keys of its patients.
QString SharedPatientNumbersText(const std::vector<SharedPatientNumber>& shared);

// A number the list and the editor show back exactly as typed: 1 to 20 characters,
// no blank at either end, no line break or other control character.
bool IsValidPatientNumber(const QString& number);

// "%08d" of `key`, or of the next key upwards whose number no patient holds.
QString NextFreePatientNumber(Database& db, int key);
