#pragma once
// What a day's FVC sessions report, against the patient's GLI set: each
// session's reported values, the same for each phase (every manoeuvre of the
// phase's sessions judged together), the bronchodilator response and the
// suggested interpretation. `tavctl session` prints it and the exchange files
// (GDT, FHIR, CSV) carry its phase values, so both always say the same.
#include "core/clinical/interpretation.h"
#include "core/records/patient_record.h"
#include "core/report/day_sessions.h"

#include <QDate>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

class Database;

// One reported value and, with a GLI set that predicts it, its reference.
struct ReferencedValue {
    double value = 0; // FEV1/FVC as a fraction, as GLI defines it
    bool usableOnly = false;
    GliPrediction reference; // not available: no GLI set, no equation, or out of range
    QString testTime;        // of the manoeuvre the value comes from

    bool Referenced() const { return reference.available; }
};

// The reported values of a session or a phase: FEV1, FVC and FEV1/FVC when
// present, then the flows (PEF, FEF2575, FEV6, FET) of the manoeuvre with the
// largest FEV1 + FVC when there is one. Absent values are not listed.
struct ReportedValues {
    char fev1Grade = 'F';
    char fvcGrade = 'F';
    std::vector<std::pair<QString, ReferencedValue>> values; // record names, in the order above

    const ReferencedValue* Find(const QString& name) const;
};

// Every manoeuvre of the day's sessions of one phase, in the order blown, judged
// as one session: a day whose blows were stored one per session (as every
// earlier day was) still reports its best acceptable values.
struct PhaseValues {
    int phase = 0; // kPhasePre or kPhasePost
    int maneuverCount = 0;
    ReportedValues reported;
};

struct DaySessionReport {
    PatientRecord patient; // as on the day (age on that day)
    GliSubject subject;
    std::optional<GliSet> set;
    std::vector<StoredSession> sessions; // oldest first
    std::vector<ReportedValues> sessionValues; // one per session
    std::vector<PhaseValues> phases; // pre, then post; only the phases the day has
    // The sessions the response and the interpretation compare: the last complete
    // pre session, and the last complete post session after a pre one (-1: none).
    int preSession = -1;
    int postSession = -1;
    std::optional<BronchodilatorResponse> bdr;
    std::optional<Interpretation> interpretation;
    QString interpretationNote; // why there is no interpretation

    bool HasPost() const;
};

// False when there is no patient `patientId` or the day is not valid.
bool LoadDaySessionReport(Database& db, int patientId, const QDate& day, DaySessionReport& out);
