#pragma once
// The sign-off versions of a patient's day as the report prints them (table
// DaySignOff). The accounts layer writes them; readers here only list them.
#include <QByteArray>
#include <QString>

#include <vector>

class Database;

struct DaySignature {
    int version = 0;
    QString signer;   // empty: an amendment still open
    QString signedAt; // "yyyy-MM-dd HH:mm" local time
    QString reason;   // the amendment's reason (versions after the first)
    QString amendedBy;
    QString amendedAt;

    bool Signed() const { return !signer.isEmpty(); }
};

// The day's versions, first first; empty for a day nobody signed.
std::vector<DaySignature> LoadDaySignatures(Database& db, int id, const QString& day);

// The report PDF stored with version `version`; empty when there is none.
QByteArray LoadSignedReport(Database& db, int id, const QString& day, int version);
