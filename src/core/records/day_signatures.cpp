#include "core/records/day_signatures.h"

#include "core/records/database.h"

#include <QSqlQuery>

std::vector<DaySignature> LoadDaySignatures(Database& db, int id, const QString& day)
{
    std::vector<DaySignature> versions;
    QSqlQuery query(db.Connection());
    query.prepare(
        "SELECT SignVersion, Signer, SignedAt, Reason, AmendedBy, AmendedAt FROM DaySignOff "
        "WHERE ID = ? AND SignDay = ? ORDER BY SignVersion");
    query.addBindValue(id);
    query.addBindValue(day);
    if (!query.exec())
        return versions;
    while (query.next()) {
        DaySignature s;
        s.version = query.value(0).toInt();
        s.signer = query.value(1).toString();
        s.signedAt = query.value(2).toString();
        s.reason = query.value(3).toString();
        s.amendedBy = query.value(4).toString();
        s.amendedAt = query.value(5).toString();
        versions.push_back(s);
    }
    return versions;
}

QByteArray LoadSignedReport(Database& db, int id, const QString& day, int version)
{
    QSqlQuery query(db.Connection());
    query.prepare(
        "SELECT ReportPdf FROM DaySignOff WHERE ID = ? AND SignDay = ? AND SignVersion = ? "
        "AND Signer IS NOT NULL");
    query.addBindValue(id);
    query.addBindValue(day);
    query.addBindValue(version);
    return query.exec() && query.next() ? query.value(0).toByteArray() : QByteArray();
}
