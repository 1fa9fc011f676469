#pragma once
// The diagnosis of a patient's day written outside its dialog (tavctl):
// with accounts on a physician's, refused on a signed day until an amendment
// is open, audited with the text before and after.
#include "core/accounts/actor.h"
#include "core/records/diagnosis.h"

#include <QString>

class Database;

// Stores `text` (line breaks as typed) as the day's diagnosis, signed with
// the actor's name; an empty text removes it. False with `error` set when
// refused, too long or not written; nothing then changes.
bool WriteDayDiagnosis(Database& db, const Actor& actor, int patient, const QString& day,
                       const QString& text, DiagnosisRecord& stored, QString* error);
