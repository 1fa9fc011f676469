#include "core/records/session_records.h"

#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/patient_record.h"
#include "core/records/recordset.h"

#include "core/app/text_limit.h"
#include "core/clinical/gli_patient.h"
#include "core/measure/test_record.h"

#include <QRegularExpression>

namespace {

const char* const kTimeFormat = "yyyy-MM-dd HH:mm:ss";

// One line of plain text: control characters (line breaks, tabs, NUL) become
// blanks, runs of blanks one, then the limit.
QString oneLine(const QString& text, int limit)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text)
        line += (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
                 c == QChar::ParagraphSeparator)
                    ? QChar(' ')
                    : c;
    static const QRegularExpression blanks("\\s+");
    return TextLimit::Left(line.replace(blanks, " ").trimmed(), limit).trimmed();
}

QVariant textOrNull(const QString& text)
{
    return text.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(text);
}

QDateTime storedTime(const QString& text)
{
    return QDateTime::fromString(QString(text).replace('T', ' ').left(19), kTimeFormat);
}

// The phases of the rows of an FVC session on a day (none: no such session).
bool sessionPhases(Database& db, int id, const QString& day, int session, QList<int>& phases)
{
    int y = 0, m = 0, d = 0;
    if (!SplitDay(day, y, m, d))
        return false;
    Recordset rs(db);
    if (!rs.Open("SELECT Phase FROM CaseInfo WHERE ID = ? AND Session = ? AND TestType = ? AND "
                 "YEAR(TestTime) = ? AND MONTH(TestTime) = ? AND DAY(TestTime) = ?",
                 {id, session, int(kTestFvc), y, m, d}))
        return false;
    const int n = rs.GetRecordCount();
    if (n > 0)
        rs.MoveFirst();
    for (int i = 0; i < n; ++i, rs.MoveNext()) {
        int phase = kPhasePre;
        rs.GetFieldValue("Phase", phase);
        phases << (phase == kPhasePost ? kPhasePost : kPhasePre);
    }
    return true;
}

} // namespace

SessionDetail CleanSessionDetail(const SessionDetail& detail)
{
    SessionDetail clean;
    clean.drug = oneLine(detail.drug, kDrugLength);
    clean.dose = oneLine(detail.dose, kDoseLength);
    clean.referrer = oneLine(detail.referrer, kReferrerLength);
    // Kept to the second, as every other time of the records.
    if (detail.doseTime.isValid())
        clean.doseTime = storedTime(detail.doseTime.toString(kTimeFormat));
    return clean;
}

bool ParseDoseTime(const QString& text, const QDate& day, QDateTime& time)
{
    time = QDateTime();
    const QString t = text.trimmed();
    if (t.isEmpty())
        return true;
    static const QRegularExpression pattern("^([0-9]{1,2}):([0-9]{2})$");
    const QRegularExpressionMatch match = pattern.match(t);
    if (!match.hasMatch() || !day.isValid())
        return false;
    const QTime clock(match.captured(1).toInt(), match.captured(2).toInt());
    if (!clock.isValid())
        return false;
    time = QDateTime(day, clock);
    return true;
}

SessionDetail LoadSessionDetail(Database& db, int id, int session)
{
    SessionDetail detail;
    Recordset rs(db);
    if (!rs.Open("SELECT Drug, Dose, DoseTime, Referrer FROM SessionDetail WHERE ID = ? AND Session = ?",
                 {id, session}) ||
        rs.GetRecordCount() <= 0)
        return detail;
    rs.MoveFirst();
    QString time;
    rs.GetFieldValue("Drug", detail.drug);
    rs.GetFieldValue("Dose", detail.dose);
    rs.GetFieldValue("DoseTime", time);
    rs.GetFieldValue("Referrer", detail.referrer);
    detail.doseTime = storedTime(time);
    // What another program wrote is held to the same limits.
    return CleanSessionDetail(detail);
}

bool SaveSessionDetail(Database& db, int id, int session, const SessionDetail& detail,
                       QString* error)
{
    const SessionDetail clean = CleanSessionDetail(detail);
    const auto fail = [&] {
        if (error)
            *error = db.LastError();
        db.Rollback();
        return false;
    };
    if (!db.BeginTransaction())
        return fail();
    if (!db.Execute("DELETE FROM SessionDetail WHERE ID = ? AND Session = ?", {id, session}))
        return fail();
    if (!clean.IsEmpty() &&
        !db.Execute("INSERT INTO SessionDetail (ID, Session, Drug, Dose, DoseTime, Referrer) "
                    "VALUES (?, ?, ?, ?, ?, ?)",
                    {id, session, textOrNull(clean.drug), textOrNull(clean.dose),
                     textOrNull(clean.doseTime.isValid() ? clean.doseTime.toString(kTimeFormat)
                                                         : QString()),
                     textOrNull(clean.referrer)}))
        return fail();
    if (!db.Commit())
        return fail();
    return true;
}

bool SessionOnDay(Database& db, int id, const QString& day, int session)
{
    QList<int> phases;
    return sessionPhases(db, id, day, session, phases) && !phases.isEmpty();
}

int DefaultPhaseForDay(Database& db, int id, const QString& day)
{
    int y = 0, m = 0, d = 0;
    if (id < 1 || !SplitDay(day, y, m, d))
        return kPhasePre;
    Recordset rs(db);
    // A row without a phase is read as pre everywhere, so it counts as one here.
    rs.Open("SELECT DataName FROM CaseInfo WHERE ID = ? AND TestType = ? AND "
            "(Phase IS NULL OR Phase <> ?) AND "
            "YEAR(TestTime) = ? AND MONTH(TestTime) = ? AND DAY(TestTime) = ?",
            {id, int(kTestFvc), kPhasePost, y, m, d});
    return rs.GetRecordCount() > 0 ? kPhasePost : kPhasePre;
}

TestBasis PatientTestBasis(const PatientRecord& patient)
{
    TestBasis basis;
    if (patient.Standard >= 0 && patient.Standard < kStandardCount) {
        basis.standard = patient.Standard;
        basis.setVersion = ReferenceSetVersion(patient.Standard);
    }
    return basis;
}

RelabelOutcome RelabelSession(Database& db, int id, const QString& day, int session, int phase,
                              const QString& by, const QDateTime& at, QString* error)
{
    if (phase != kPhasePre && phase != kPhasePost)
        return RelabelOutcome::BadPhase;
    PatientRecord patient;
    if (id < 1 || !LoadPatient(db, id, patient))
        return RelabelOutcome::NoPatient;
    QList<int> phases;
    if (!sessionPhases(db, id, day, session, phases) || phases.isEmpty())
        return RelabelOutcome::NoSession;
    if (!phases.contains(phase == kPhasePre ? kPhasePost : kPhasePre))
        return RelabelOutcome::Unchanged;
    const int oldPhase = phase == kPhasePre ? kPhasePost : kPhasePre;
    int y = 0, m = 0, d = 0;
    SplitDay(day, y, m, d);
    const auto fail = [&] {
        if (error)
            *error = db.LastError();
        db.Rollback();
        return RelabelOutcome::Failed;
    };
    if (!db.BeginTransaction())
        return fail();
    if (!db.Execute("UPDATE CaseInfo SET Phase = ? WHERE ID = ? AND Session = ? AND TestType = ? "
                    "AND YEAR(TestTime) = ? AND MONTH(TestTime) = ? AND DAY(TestTime) = ?",
                    {phase, id, session, int(kTestFvc), y, m, d}))
        return fail();
    if (!db.Execute("INSERT INTO PhaseChange (ID, Session, OldPhase, NewPhase, ChangedBy, ChangedAt) "
                    "VALUES (?, ?, ?, ?, ?, ?)",
                    {id, session, oldPhase, phase, textOrNull(oneLine(by, kChangedByLength)),
                     (at.isValid() ? at : QDateTime::currentDateTime()).toString(kTimeFormat)}))
        return fail();
    if (!db.Commit())
        return fail();
    return RelabelOutcome::Changed;
}

std::vector<PhaseChange> LoadPhaseChanges(Database& db, int id, int session)
{
    std::vector<PhaseChange> changes;
    Recordset rs(db);
    if (!rs.Open("SELECT OldPhase, NewPhase, ChangedBy, ChangedAt FROM PhaseChange "
                 "WHERE ID = ? AND Session = ? ORDER BY ChangedAt",
                 {id, session}))
        return changes;
    const int n = rs.GetRecordCount();
    if (n > 0)
        rs.MoveFirst();
    for (int i = 0; i < n; ++i, rs.MoveNext()) {
        PhaseChange change;
        change.session = session;
        rs.GetFieldValue("OldPhase", change.oldPhase);
        rs.GetFieldValue("NewPhase", change.newPhase);
        rs.GetFieldValue("ChangedBy", change.by);
        rs.GetFieldValue("ChangedAt", change.at);
        change.at = change.at.replace('T', ' ').left(19);
        changes.push_back(change);
    }
    return changes;
}
