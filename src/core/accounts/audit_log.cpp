#include "core/accounts/audit_log.h"

#include "core/accounts/audit_anchor.h"
#include "core/records/database.h"

#include <QCryptographicHash>
#include <QSqlQuery>
#include <QStringList>

namespace {

const QString kFirstPrevHash(64, '0');
constexpr int kAttempts = 5;

AuditEntry entryOf(const QSqlQuery& q)
{
    AuditEntry e;
    e.seq = q.value(0).toLongLong();
    e.at = q.value(1).toString();
    e.user = q.value(2).toString();
    e.workstation = q.value(3).toString();
    e.action = q.value(4).toString();
    e.patient = q.value(5).toInt();
    e.target = q.value(6).toString();
    e.before = q.value(7).toString();
    e.after = q.value(8).toString();
    e.prevHash = q.value(9).toString();
    e.hash = q.value(10).toString();
    return e;
}

const char kColumns[] = "Seq, LoggedAt, UserName, Workstation, AuditAction, PatientID, Target, "
                        "OldValue, NewValue, PrevHash, RowHash";

} // namespace

QString AuditLog::RowHash(const AuditEntry& e)
{
    // Fields joined by the unit separator, which no field can hold unnoticed:
    // moving text from one field to the next changes the hash.
    const QStringList fields = {
        QString::number(e.seq),     e.at,     e.user,   e.workstation, e.action,
        QString::number(e.patient), e.target, e.before, e.after,       e.prevHash};
    return QString::fromLatin1(
        QCryptographicHash::hash(fields.join(QChar(0x1f)).toUtf8(), QCryptographicHash::Sha256)
            .toHex());
}

namespace {
AuditEntry newEntry(const Actor& actor, const QString& action, int patient, const QString& target,
                    const QString& before, const QString& after)
{
    AuditEntry e;
    e.user = actor.name;
    e.workstation = actor.workstation;
    e.action = action;
    e.patient = patient;
    e.target = target;
    e.before = before;
    e.after = after;
    return e;
}
} // namespace

bool AuditLog::appendRow(AuditEntry& e)
{
    QSqlQuery last(m_db.Connection());
    if (!last.exec("SELECT Seq, RowHash FROM AuditLog ORDER BY Seq DESC LIMIT 1")) {
        m_db.NoteError(last.lastError());
        return false;
    }
    const bool any = last.next();
    e.seq = any ? last.value(0).toLongLong() + 1 : 1;
    e.prevHash = any ? last.value(1).toString() : kFirstPrevHash;
    last.finish();
    e.at = QDateTime::currentDateTimeUtc().toString("yyyy-MM-ddTHH:mm:ss.zzzZ");
    e.hash = RowHash(e);
    if (!m_db.Execute(
            QString("INSERT INTO AuditLog (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)").arg(kColumns),
            {e.seq, e.at, e.user, e.workstation, e.action, e.patient, e.target, e.before, e.after,
             e.prevHash, e.hash}))
        return false;
    // The anchor follows the row only once it is committed.
    m_db.AfterCommit([anchor = AuditAnchor(m_db), mark = AuditMark{e.seq, e.hash}]() mutable {
        anchor.Advance(mark);
    });
    return true;
}

bool AuditLog::AppendInTransaction(const Actor& actor, const QString& action, int patient,
                                   const QString& target, const QString& before,
                                   const QString& after)
{
    AuditEntry e = newEntry(actor, action, patient, target, before, after);
    // Another workstation may take the Seq first: only this row's part of the
    // caller's transaction goes back, and it reads the new last row.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (!m_db.Execute("SAVEPOINT audit_row"))
            return false;
        if (appendRow(e))
            return m_db.Execute("RELEASE SAVEPOINT audit_row");
        const bool conflict = m_db.LastErrorWasConflict();
        m_db.Execute("ROLLBACK TO SAVEPOINT audit_row");
        if (!conflict)
            return false;
    }
    return false;
}

bool AuditLog::Append(const Actor& actor, const QString& action, int patient, const QString& target,
                      const QString& before, const QString& after, QString* error)
{
    if (!actor.accountsOn)
        return true;
    AuditEntry e = newEntry(actor, action, patient, target, before, after);
    // Two workstations may take the same Seq; the unique key refuses the
    // second, which reads the new last row and tries again.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (!m_db.BeginTransaction())
            break;
        if (appendRow(e) && m_db.Commit())
            return true;
        m_db.Rollback();
        if (!m_db.LastErrorWasConflict())
            break;
    }
    if (error)
        *error = "cannot write the audit trail: " + m_db.LastError();
    return false;
}

qint64 AuditLog::FirstBrokenRow(QString* why)
{
    QSqlQuery q(m_db.Connection());
    if (!q.exec(QString("SELECT %1 FROM AuditLog ORDER BY Seq").arg(kColumns))) {
        if (why)
            *why = "cannot read the audit trail: " + q.lastError().text();
        return -1;
    }
    qint64 expected = 1;
    QString prevHash = kFirstPrevHash;
    while (q.next()) {
        const AuditEntry e = entryOf(q);
        QString fault;
        if (e.seq != expected)
            fault = QString("row %1 is missing").arg(expected);
        else if (e.prevHash != prevHash)
            fault = "its previous hash is not that of the row before";
        else if (RowHash(e) != e.hash)
            fault = "its content does not match its hash";
        if (!fault.isEmpty()) {
            if (why)
                *why = fault;
            return e.seq;
        }
        prevHash = e.hash;
        ++expected;
    }
    // Rows removed from the end leave a whole chain: the rows this workstation
    // wrote must still be there as written.
    qint64 confirmed = 0;
    for (const AuditMark& mark : AuditAnchor(m_db).Marks()) {
        if (!rowIs(mark)) {
            if (why)
                *why = QString("rows after %1 are missing (this workstation wrote row %2)")
                           .arg(confirmed)
                           .arg(mark.seq);
            return confirmed + 1;
        }
        confirmed = mark.seq;
    }
    return 0;
}

bool AuditLog::rowIs(const AuditMark& mark)
{
    QSqlQuery q(m_db.Connection());
    q.prepare("SELECT RowHash FROM AuditLog WHERE Seq = ?");
    q.addBindValue(mark.seq);
    return q.exec() && q.next() && q.value(0).toString() == mark.hash;
}

std::vector<AuditEntry> AuditLog::List(const AuditFilter& filter)
{
    QString sql = QString("SELECT %1 FROM AuditLog WHERE 1 = 1").arg(kColumns);
    QVariantList values;
    if (filter.patient > 0) {
        sql += " AND PatientID = ?";
        values << filter.patient;
    }
    if (!filter.user.isEmpty()) {
        sql += " AND UserName = ?";
        values << filter.user;
    }
    if (filter.since.isValid()) {
        sql += " AND LoggedAt >= ?";
        values << filter.since.toUTC().toString("yyyy-MM-ddTHH:mm:ss.zzzZ");
    }
    QSqlQuery q(m_db.Connection());
    q.prepare(sql + " ORDER BY Seq");
    for (const QVariant& v : values)
        q.addBindValue(v);
    std::vector<AuditEntry> rows;
    if (!q.exec())
        return rows;
    while (q.next())
        rows.push_back(entryOf(q));
    return rows;
}

bool AuditLog::Protect(QString* error)
{
    const QStringList statements =
        m_db.IsServer()
            ? QStringList{"CREATE OR REPLACE FUNCTION tav_audit_insert_only() RETURNS trigger "
                          "LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'AuditLog is insert-only'; "
                          "END $$",
                          "DROP TRIGGER IF EXISTS AuditLog_insert_only ON AuditLog",
                          "CREATE TRIGGER AuditLog_insert_only BEFORE UPDATE OR DELETE ON AuditLog "
                          "FOR EACH ROW EXECUTE FUNCTION tav_audit_insert_only()",
                          "DROP TRIGGER IF EXISTS AuditLog_no_truncate ON AuditLog",
                          "CREATE TRIGGER AuditLog_no_truncate BEFORE TRUNCATE ON AuditLog "
                          "FOR EACH STATEMENT EXECUTE FUNCTION tav_audit_insert_only()",
                          "REVOKE UPDATE, DELETE, TRUNCATE ON AuditLog FROM PUBLIC"}
            : QStringList{
                  "CREATE TRIGGER IF NOT EXISTS AuditLog_no_update BEFORE UPDATE ON AuditLog "
                  "BEGIN SELECT RAISE(ABORT, 'AuditLog is insert-only'); END",
                  "CREATE TRIGGER IF NOT EXISTS AuditLog_no_delete BEFORE DELETE ON AuditLog "
                  "BEGIN SELECT RAISE(ABORT, 'AuditLog is insert-only'); END"};
    for (const QString& statement : statements) {
        if (!m_db.Execute(statement)) {
            if (error)
                *error = "cannot protect the audit trail: " + m_db.LastError();
            return false;
        }
    }
    return true;
}
