#pragma once
// The one answer to "what did this patient's day show". Every surface that
// shows, prints or exports a day's results reads this model and nothing else:
// the results page (Best Value box, results list, quality lines, clinical
// summary), every report page, the trend, `tavctl session` and the exchange
// files (CSV, GDT, FHIR).
//
// A physician's review of a blow overrides its verdict (and, with a grade,
// its phase's grades) in all of this; the automatic verdict is kept beside it.
//
// FVC is reported per bronchodilator phase, from the phase's plausible blows
// judged together: FVC and FEV1 each the largest acceptable value (the largest
// usable one, marked so, when none is acceptable), every other value from the
// acceptable blow with the largest FVC + FEV1. A phase with nothing acceptable
// or usable is withheld: its values are not results. VC and MVV report the
// plausible test with the largest VC or MVV. A stored record that no lung can
// blow is listed as damaged and left out of everything.
#include "core/clinical/interpretation.h"
#include "core/records/calibration_log.h"
#include "core/records/grade_overrides.h"
#include "core/records/patient_record.h"
#include "core/report/day_sessions.h"
#include "core/report/day_tests.h"

#include <QDate>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

class Database;

// Where a reported value stands against the reference set; every member in
// the record's units (FEV1/FVC in percent). Absent where the set predicts nothing.
struct ValueReference {
    std::optional<double> predicted;
    std::optional<double> lln;
    std::optional<double> uln;
    std::optional<double> z;
    std::optional<double> percentPredicted;
};

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

// What one bronchodilator phase of the day reports.
struct PhaseValues {
    int phase = 0; // kPhasePre or kPhasePost
    int maneuverCount = 0;
    ReportedValues reported;
    SessionAssessment assessment; // the phase's blows judged together (grades, spreads)
    std::vector<QString> blows;   // the file of each blow, in the order judged (assessment.maneuvers)
    // The phase's figures in the record's units: FVC and FEV1 the reported
    // ones, FEV1/FVC their ratio in percent, every other field that of the
    // blow at `flowsTest`. Meaningful only when not withheld.
    ManeuverResult record;
    int flowsTest = -1; // index into DayResult::fvc of the blow the other values come from
    bool withheld = false; // no acceptable or usable FEV1 or FVC: grade F, no values
    bool usableOnly = false; // some reported value comes from a blow that is usable only

    bool Graded(char worst) const; // both grades at `worst` or better (A best)
};

// A stored test left out of the day's results, and why.
struct DamagedTest {
    QString dataName;
    int testType = 0;
    QString reason;
};

// The best test of a VC or MVV day.
struct TypeResult {
    int bestTest = -1; // index into the day's list of that type, -1: none
    ManeuverResult record;
};

// A physician's review of one blow (records/grade_overrides), beside what the
// program judged on its own.
struct ReviewedBlow {
    GradeOverride review;
    int testType = 0;
    int number = 0;                   // "#n" among the day's plausible tests of its type
    bool automaticAcceptable = true;  // FVC: acceptable for FEV1 and FVC; VC, MVV: plausible
    char automaticGrade = 0;          // FVC: the phase's worse grade before any review; 0: none
};

// The day's tests against the flow sensor's syringe checks: the last check
// before the day's last test, and the worst flag of any of its tests.
struct DayCalibration {
    std::optional<CalibrationLogEntry> lastCheck;
    CheckFlag flag = CheckFlag::None;
};

struct DayResult {
    PatientRecord patient; // as on the day (age on that day)
    QString day;           // "YYYY-MM-DD"
    QString nationName;
    GliSubject subject;
    // The reference set the day's tests were measured against (the one stored
    // with them; the patient's current set for tests stored without one).
    int standard = 0;
    std::optional<GliSet> set;
    QString setName;       // exactly: "GLI Global 2022", "GLI-2012", "ERS", "Knudson", "USA"
    QString setVersion;
    int btps = -1;         // 1: every test at BTPS; 0: none; -1: not known or mixed
    ManeuverResult predicted; // the set's predicted values in the record's fields; 0 where it has none
    bool predictedFound = false;

    DayTestList fvc, vc, mvv; // the plausible tests of each type, oldest first ("#1" first)
    std::vector<DamagedTest> damaged;
    std::vector<StoredSession> sessions; // FVC sessions, oldest first, plausible blows only
    std::vector<ReportedValues> sessionValues; // one per session
    std::vector<PhaseValues> phases; // pre, then post; only the phases the day has
    bool postWithoutPre = false;     // a post phase on a day without a pre one
    // The sessions the response compares: the last complete pre session, and
    // the last complete post session after a pre one (-1: none).
    int preSession = -1;
    int postSession = -1;
    TypeResult vcResult, mvvResult;
    std::vector<ReviewedBlow> reviews; // blows a physician reviewed, in file order
    std::optional<BronchodilatorResponse> bdr;
    std::optional<Interpretation> interpretation;
    QString interpretationNote; // why there is no interpretation, or why it cannot be read normally
    DayCalibration calibration;

    bool HasPost() const;
    bool HasTests() const { return !fvc.empty() || !vc.empty() || !mvv.empty() || !damaged.empty(); }
    const PhaseValues* Phase(int phase) const;
    // How the blow of file `dataName` was judged among its phase's blows; null for none.
    const ManeuverAcceptability* Verdict(const QString& dataName) const;
    // The reference of `measured` (record units) of the record field `name`.
    ValueReference ReferenceOf(const QString& name, double measured) const;
};

// False when there is no patient `patientId` or the day is not valid.
// `againstStandard` recomputes the day against another set, for a side-by-side
// look: nothing is stored, what the day reported stays as it was.
bool LoadDayResult(Database& db, int patientId, const QDate& day, DayResult& out,
                   std::optional<int> againstStandard = std::nullopt);
