#pragma once

class Database;
struct ManeuverResult;
struct PatientRecord;

// The values expected for a healthy person like `patient`, written into `out`:
// the Predict equations of the patient's standard, gender and age band, then the
// correction of the patient's nation group. Fields no equation gives (TV, MV,
// tI, ...) keep their values. Without an equation for the patient every field an
// equation gives is cleared to 0 (never another patient's values) and false is
// returned. For a test of an earlier day pass `PatientOnDay` of that day.
bool ComputePredictedValues(Database& db, ManeuverResult& out, const PatientRecord& patient);

// Clears every field ComputePredictedValues fills.
void ClearPredictedValues(ManeuverResult& out);
