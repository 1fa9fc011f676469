#pragma once

#include "core/clinical/gli_equations.h"

class Database;
class QDate;
struct ManeuverResult;
struct PatientRecord;

// The values expected for a healthy person like `patient`, written into `out`:
// the Predict equations of the patient's standard, gender and age band, then the
// correction of the patient's nation group. Fields no equation gives (TV, MV,
// tI, ...) keep their values. Without an equation for the patient every field an
// equation gives is cleared to 0 (never another patient's values) and false is
// returned. For a test of an earlier day pass `PatientOnDay` of that day.
// GLI sets (standards 3 and 4) fill only what GLI predicts (FEV1, FVC, FEV1/FVC,
// FEF25-75, FEF75, ERV) at the decimal age of that day (today without one), every
// other field 0.
bool ComputePredictedValues(Database& db, ManeuverResult& out, const PatientRecord& patient);

// Clears every field ComputePredictedValues fills.
void ClearPredictedValues(ManeuverResult& out);

// The person GLI equations need: sex, decimal age on `testDay`, height, and the
// ethnic group (the patient's own, else the one the nation group maps to, else Other/mixed).
GliSubject GliSubjectOf(Database& db, const PatientRecord& patient, const QDate& testDay);
// The patient's decimal age on `testDay` as GLI counts it (the stored age when
// there is no birth date): the one part of the subject that changes per test.
double GliAgeOn(const PatientRecord& patient, const QDate& testDay);
