#pragma once
// Patients that arrive from another system keep that system's patient number,
// unlike those made in the editor, which take the number of their new key.
#include "core/records/patient_record.h"

class Database;

// The key of the patient with `number`, 0 for none, -1 when the register
// cannot be read; `count` tells how many hold it.
int PatientIdOfNumber(Database& db, const QString& number, int* count = nullptr);

// Inserts `record` under the next key with its own PatientNumber, in the
// caller's transaction. On success record.ID holds the new key.
bool InsertPatientKeepingNumber(Database& db, PatientRecord& record);
