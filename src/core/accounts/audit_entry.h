#pragma once
// One row of the audit trail (table AuditLog).
#include <QString>

struct AuditEntry {
    qint64 seq = 0; // 1, 2, ... in the order written
    QString at;     // UTC, "yyyy-MM-ddTHH:mm:ss.zzzZ"
    QString user;
    QString workstation;
    QString action;  // "login", "login-failed", "session-stored", "sign", ...
    int patient = 0; // 0: no patient
    QString target;  // the record it touched: "day 2026-12-07", "2.dt", "account anna"
    QString before;  // the values before and after, as short text
    QString after;
    QString prevHash; // RowHash of the row before (64 zeros for the first)
    QString hash;     // SHA-256 (hex) of the fields above and prevHash
};
