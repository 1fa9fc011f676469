#pragma once
// A physician's override of a stored blow's verdict: acceptable or not, and
// optionally its phase's grade, with a reason. Physicians only (with accounts
// on), refused on a signed day until an amendment is open; stored with its
// audit row (before and after) in one transaction. The day-result model
// applies it.
#include "core/accounts/actor.h"
#include "core/records/grade_overrides.h"

#include <QString>

class Database;

struct BlowReview {
    int session = 0;
    int maneuver = 0;
    bool acceptable = false;
    std::optional<char> grade; // 'A'..'F'
    int gradeType = -1;        // the test type the grade is of (0 FVC, 1 VC, 2 MVV); -1: the blow's
    QString reason;
};

// The stored override in `stored`; false with `error` saying why not.
bool OverrideGrade(Database& db, const Actor& actor, int patient, const QString& day,
                   const BlowReview& review, GradeOverride& stored, QString* error);
