#pragma once

#include "core/clinical/gli_equations.h"

class Database;
class QDate;
struct ManeuverResult;
struct PatientRecord;

// The values expected for a healthy person like `patient`, written into `out`:
// the Predict equations of the patient's standard, gender and age band, then the
// correction of the patient's nation group. Without an equation `out` is left
// as it was; fields no equation gives (TV, MV, tI, ...) keep their values.
// GLI sets (standards 3 and 4) fill only what GLI predicts (FEV1, FVC, FEV1/FVC,
// FEF25-75, FEF75, ERV) at the decimal age of today, every other field 0.
void ComputePredictedValues(Database& db, ManeuverResult& out, const PatientRecord& patient);

// The person GLI equations need: sex, decimal age on `testDay`, height, and the
// ethnic group (the patient's own, else the one the nation group maps to, else Other/mixed).
GliSubject GliSubjectOf(Database& db, const PatientRecord& patient, const QDate& testDay);
