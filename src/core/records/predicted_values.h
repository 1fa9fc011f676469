#pragma once

class Database;
struct ManeuverResult;
struct PatientRecord;

// The values expected for a healthy person like `patient`, written into `out`:
// the Predict equations of the patient's standard, gender and age band, then the
// correction of the patient's nation group. Without an equation `out` is left
// as it was; fields no equation gives (TV, MV, tI, ...) keep their values.
void ComputePredictedValues(Database& db, ManeuverResult& out, const PatientRecord& patient);
