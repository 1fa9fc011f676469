#include "core/accounts/grade_review.h"

#include "core/accounts/audit_log.h"
#include "core/accounts/day_signoff.h"
#include "core/records/database.h"

#include <QDateTime>

namespace {

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

// "acceptable, grade C: reason", as the audit trail keeps a review.
QString said(const GradeOverride& r)
{
    QString text = r.acceptable ? "acceptable" : "not acceptable";
    if (r.grade)
        text += QString(", grade ") + *r.grade;
    return text + ": " + r.reason;
}

} // namespace

bool OverrideGrade(Database& db, const Actor& actor, int patient, const QString& day,
                   const BlowReview& review, GradeOverride& stored, QString* error)
{
    const QString refusal = DaySignOff(db).Refusal(actor, Action::OverrideGrade, patient, day);
    if (!refusal.isEmpty())
        return fail(error, refusal);
    const QString reason = review.reason.simplified();
    if (reason.isEmpty())
        return fail(error, "an override needs a reason (--reason TEXT)");
    if (review.grade && (*review.grade < 'A' || *review.grade > 'F'))
        return fail(error, "a grade is one of A to F");
    GradeOverride r;
    int testType = 0;
    if (!FindStoredBlow(db, patient, day, review.session, review.maneuver, r.dataName, testType))
        return fail(error, QString("patient %1 has no stored blow %2 of session %3 on %4")
                               .arg(patient)
                               .arg(review.maneuver)
                               .arg(review.session)
                               .arg(day));
    if (review.gradeType >= 0 && review.gradeType != testType)
        return fail(error, QString("blow %1 of session %2 is not of the type the grade is for")
                               .arg(review.maneuver)
                               .arg(review.session));
    r.session = review.session;
    r.maneuver = review.maneuver;
    r.acceptable = review.acceptable;
    r.grade = review.grade;
    r.reason = reason;
    r.user = actor.name;
    r.at = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm");
    QString before = "automatic";
    for (const GradeOverride& earlier : LoadGradeOverrides(db, patient, day))
        if (earlier.dataName == r.dataName)
            before = said(earlier);
    if (!db.BeginTransaction())
        return fail(error, "cannot store the override: " + db.LastError());
    const bool audited =
        !actor.accountsOn ||
        AuditLog(db).AppendInTransaction(actor, "grade-override", patient,
                                         "day " + day + " " + r.dataName, before, said(r));
    if (!SaveGradeOverride(db, patient, day, r) || !audited || !db.Commit()) {
        const QString why = db.LastError();
        db.Rollback();
        return fail(error, "cannot store the override: " + why);
    }
    stored = r;
    return true;
}
