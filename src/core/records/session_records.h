#pragma once
// What is kept about an FVC session beside its tests: the bronchodilator
// given and the referring physician (table SessionDetail), the phase a day's
// next session is stored in unless the user says otherwise, and relabelling a
// session pre/post afterwards with a record of who did it and when (table
// PhaseChange). A session is (patient ID, CaseInfo.Session): the file number
// of its first manoeuvre.
#include "core/measure/test_store.h"

#include <QDateTime>
#include <QString>

#include <vector>

class Database;
struct PatientRecord;

// Text limits of the details, in characters.
inline constexpr int kDrugLength = 60;
inline constexpr int kDoseLength = 30;
inline constexpr int kReferrerLength = 60;
inline constexpr int kChangedByLength = 40;

struct SessionDetail {
    QString drug;      // bronchodilator given before a post session
    QString dose;      // as the user writes it ("400 µg")
    QDateTime doseTime; // when it was given; invalid: not said
    QString referrer;  // referring physician, any phase
    bool IsEmpty() const
    {
        return drug.isEmpty() && dose.isEmpty() && !doseTime.isValid() && referrer.isEmpty();
    }
};

// The details as they are stored: each text on one line without control
// characters, trimmed, cut to its limit.
SessionDetail CleanSessionDetail(const SessionDetail& detail);

// A dose time typed as "HH:MM" (or "H:MM") on `day`: true with `time` set, or
// true with `time` invalid for an empty text; false for anything else.
bool ParseDoseTime(const QString& text, const QDate& day, QDateTime& time);

// The stored details of patient `id`'s session; empty when none were given.
SessionDetail LoadSessionDetail(Database& db, int id, int session);

// Stores the details of a session (replacing what was there; all empty
// removes them). False with `error` set when the statement fails.
bool SaveSessionDetail(Database& db, int id, int session, const SessionDetail& detail,
                       QString* error = nullptr);

// True when patient `id` has the FVC session `session` on `day` ("YYYY-MM-DD").
bool SessionOnDay(Database& db, int id, const QString& day, int session);

// The phase a new FVC session of patient `id` on `day` is stored in when the
// user does not choose: post when the day already has a pre session, pre otherwise.
int DefaultPhaseForDay(Database& db, int id, const QString& day);

// The reference set a test of this patient is measured against now (the
// BTPS part is the live test's to fill in).
TestBasis PatientTestBasis(const PatientRecord& patient);

// One relabelling, as kept.
struct PhaseChange {
    int session = 0;
    int oldPhase = 0;
    int newPhase = 0;
    QString by;
    QString at; // "yyyy-MM-dd HH:mm:ss"
};

enum class RelabelOutcome {
    Changed,   // every row of the session has the new phase; the change is kept
    Unchanged, // the session had that phase already: nothing written
    NoPatient,
    NoSession, // the patient has no FVC session of that number on that day
    BadPhase,  // neither pre nor post
    Failed,    // a statement failed: nothing changed (`error` says why)
};

// Gives every CaseInfo row of patient `id`'s FVC session `session` on `day`
// the phase `phase` and keeps the change (who: `by`, when: `at`, the old and
// new phase) in PhaseChange, in one transaction. The test files are not
// touched: the phase lives in the rows only.
RelabelOutcome RelabelSession(Database& db, int id, const QString& day, int session, int phase,
                              const QString& by, const QDateTime& at, QString* error = nullptr);

// The relabellings of a session, oldest first.
std::vector<PhaseChange> LoadPhaseChanges(Database& db, int id, int session);
