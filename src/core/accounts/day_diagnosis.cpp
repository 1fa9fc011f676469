#include "core/accounts/day_diagnosis.h"

#include "core/accounts/audit_log.h"
#include "core/accounts/day_signoff.h"
#include "core/records/patient_record.h"

#include <QDateTime>

bool WriteDayDiagnosis(Database& db, const Actor& actor, int patient, const QString& day,
                       const QString& text, DiagnosisRecord& stored, QString* error)
{
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    PatientRecord record;
    if (!LoadPatient(db, patient, record))
        return fail(QString("there is no patient with ID %1").arg(patient));
    const QString refusal = DaySignOff(db).Refusal(actor, Action::EditDiagnosis, patient, day);
    if (!refusal.isEmpty())
        return fail(refusal);
    DiagnosisRecord current;
    LoadDiagnosis(db, patient, day, current);
    const QString before = current.Result;
    // The file keeps the dialog's line breaks.
    QString result = text;
    result.replace("\r\n", "\n").replace('\n', "\r\n");
    QString saveError;
    switch (ConfirmDiagnosis(actor.name.left(kPhysicianLength), result,
                             QDateTime::currentDateTime(), db, patient, day, current,
                             &saveError)) {
    case DiagnosisSave::Saved:
        break;
    case DiagnosisSave::PhysicianTooLong:
        return fail("the physician's name is too long for the diagnosis");
    case DiagnosisSave::ResultTooLong:
        return fail(QString("a diagnosis holds at most %1 characters").arg(kResultLength));
    case DiagnosisSave::NotWritten:
        return fail("the diagnosis is not written: " + saveError);
    case DiagnosisSave::ChangedMeanwhile:
        return fail("another workstation saved this day's diagnosis meanwhile; nothing was written");
    case DiagnosisSave::TextRefused:
        return fail(saveError);
    }
    stored = current;
    return AuditLog(db).Append(actor, "diagnosis-change", patient, "day " + day, before,
                               current.Result, error);
}
