#pragma once
// The audit trail: rows are only ever added. Each row's hash covers its
// fields and the previous row's hash, so changing or removing any row breaks
// the chain from that row on; this workstation's anchor shows the removal of
// the newest rows. On PostgreSQL a trigger refuses UPDATE, DELETE
// and TRUNCATE on the table; on SQLite a trigger refuses UPDATE and DELETE.
#include "core/accounts/actor.h"
#include "core/accounts/audit_entry.h"

#include <QDateTime>

#include <vector>

class Database;
struct AuditMark;

struct AuditFilter {
    int patient = 0; // 0: every patient
    QString user;    // empty: every user
    QDateTime since; // invalid: from the first row
};

class AuditLog {
  public:
    explicit AuditLog(Database& db) : m_db(db) {}

    // Adds a row for `actor` (numbered, chained and hashed here); false with
    // `error` set when it could not be written. An actor of accounts off
    // leaves no row: the trail starts with the first account.
    bool Append(const Actor& actor, const QString& action, int patient, const QString& target,
                const QString& before = QString(), const QString& after = QString(),
                QString* error = nullptr);

    // The same inside the caller's transaction, so the row stands or falls
    // with the change it records.
    bool AppendInTransaction(const Actor& actor, const QString& action, int patient,
                             const QString& target, const QString& before = QString(),
                             const QString& after = QString());

    // 0 when the chain is whole; else the Seq of the first row that is not
    // what the chain says (changed, or following a removed row), with `why`.
    // The chain is also checked against this workstation's anchor
    // (audit_anchor): a trail that ends before it is missing its newest rows.
    qint64 FirstBrokenRow(QString* why = nullptr);

    std::vector<AuditEntry> List(const AuditFilter& filter);

    // The triggers that keep the table insert-only; run when accounts are turned on.
    bool Protect(QString* error = nullptr);

    static QString RowHash(const AuditEntry& entry);

  private:
    bool appendRow(AuditEntry& entry);
    bool rowIs(const AuditMark& mark); // the row of that Seq has that hash

    Database& m_db;
};
