#pragma once
// A physician's sign-off of a patient's day. Signing stores version 1: the
// snapshot of what the day reports (signoff_snapshot), the report PDF as
// signed and their hash, in table DaySignOff, with an audit row in the same
// transaction. A signed day is frozen: new tests, relabels, grade overrides,
// diagnosis edits and reference changes are refused until a physician opens
// an amendment with a reason; signing again then stores the next version.
// Earlier versions stay as they were.
#include "core/accounts/actor.h"

#include <QByteArray>
#include <QString>

class Database;

class DaySignOff {
  public:
    explicit DaySignOff(Database& db) : m_db(db) {}

    // Empty when the day may be changed; else why not and how to amend it.
    QString FrozenRefusal(int patient, const QString& day);
    // Empty when `actor` may do `action` on the day; else the refusal (the
    // role it needs, or the signature that froze the day).
    QString Refusal(const Actor& actor, Action action, int patient, const QString& day);

    // Signs the day (or the amendment open on it); `version` is the version signed.
    bool Sign(const Actor& actor, int patient, const QString& day, int& version, QString* error);

    // Opens an amendment of the signed day; `version` is the one it will become.
    bool Amend(const Actor& actor, int patient, const QString& day, const QString& reason,
               int& version, QString* error);

    // The report PDF signed as `version` after checking it against the
    // snapshot's hashes; empty with `error` set when missing or altered.
    QByteArray SignedReport(int patient, const QString& day, int version, QString* error);

    // The newest signed version of the day, 0 when none.
    int LatestSigned(int patient, const QString& day);

  private:
    Database& m_db;
};
