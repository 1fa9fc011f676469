#include "core/accounts/day_signoff.h"

#include "core/accounts/audit_log.h"
#include "core/accounts/signoff_snapshot.h"
#include "core/records/database.h"
#include "core/records/day_signatures.h"
#include "core/report/pdf_export.h"
#include "core/report/report_data.h"
#include "core/report/report_page.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QSqlQuery>

#include <vector>

namespace {

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

QString localNow()
{
    return QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm");
}

} // namespace

int DaySignOff::LatestSigned(int patient, const QString& day)
{
    int latest = 0;
    for (const DaySignature& s : LoadDaySignatures(m_db, patient, day))
        if (s.Signed())
            latest = s.version;
    return latest;
}

QString DaySignOff::FrozenRefusal(int patient, const QString& day)
{
    const std::vector<DaySignature> versions = LoadDaySignatures(m_db, patient, day);
    if (versions.empty() || !versions.back().Signed())
        return QString();
    const DaySignature& s = versions.back();
    return QString(
               "the day %1 of patient %2 is signed (version %3, by %4 on %5): open an amendment "
               "with a reason first (tavctl amend --patient %2 --day %1 --reason TEXT)")
        .arg(day)
        .arg(patient)
        .arg(s.version)
        .arg(s.signer, s.signedAt);
}

QString DaySignOff::Refusal(const Actor& actor, Action action, int patient, const QString& day)
{
    const QString refusal = actor.Refusal(action);
    return refusal.isEmpty() ? FrozenRefusal(patient, day) : refusal;
}

bool DaySignOff::Sign(const Actor& actor, int patient, const QString& day, int& version,
                      QString* error)
{
    if (!actor.accountsOn)
        return fail(
            error,
            "signing needs accounts: add an administrator first (tavctl user add --role admin)");
    const QString refusal = actor.Refusal(Action::Sign);
    if (!refusal.isEmpty())
        return fail(error, refusal);
    ReportData data;
    if (!LoadReportData(m_db, patient, day, data))
        return fail(error, QString("no patient with ID %1, or the day is not YYYY-MM-DD: %2")
                               .arg(patient)
                               .arg(day));
    if (!data.HasTests())
        return fail(error, "there are no tests on " + day + " to sign");
    const std::vector<DaySignature> versions = LoadDaySignatures(m_db, patient, day);
    if (!versions.empty() && versions.back().Signed())
        return fail(error, FrozenRefusal(patient, day));
    const bool amendment = !versions.empty();
    version = amendment ? versions.back().version : 1;
    const SignoffStamp stamp{version, actor.name, localNow(),
                             amendment ? versions.back().reason : QString()};

    if (!m_db.BeginTransaction())
        return fail(error, "cannot sign: " + m_db.LastError());
    const auto abandon = [&](const QString& why) {
        m_db.Rollback();
        return fail(error, why);
    };
    const bool stamped =
        amendment
            ? m_db.Execute(
                  "UPDATE DaySignOff SET Signer = ?, SignedAt = ? WHERE ID = ? AND SignDay = ? "
                  "AND SignVersion = ? AND Signer IS NULL",
                  {stamp.signer, stamp.signedAt, patient, day, version})
            : m_db.Execute("INSERT INTO DaySignOff (ID, SignDay, SignVersion, Signer, SignedAt) "
                           "VALUES (?, ?, ?, ?, ?)",
                           {patient, day, version, stamp.signer, stamp.signedAt});
    if (!stamped)
        return abandon(m_db.LastErrorWasConflict() ? "another workstation signed the day first"
                                                   : "cannot sign: " + m_db.LastError());
    // Read again inside the transaction: the report now carries its signature line.
    ReportData signedData;
    QByteArray pdf;
    QString renderError;
    if (!LoadReportData(m_db, patient, day, signedData) ||
        !ReportPdfBytes(signedData, pdf, &renderError))
        return abandon("cannot write the signed report: " + renderError);
    const QJsonObject snapshot = MakeSignoffSnapshot(signedData, stamp, pdf);
    const QString hash = SnapshotHash(snapshot);
    if (!m_db.Execute(
            "UPDATE DaySignOff SET Snapshot = ?, ReportPdf = ?, SnapshotHash = ? WHERE ID = ? AND "
            "SignDay = ? AND SignVersion = ?",
            {QString::fromUtf8(QJsonDocument(snapshot).toJson(QJsonDocument::Compact)), pdf, hash,
             patient, day, version}) ||
        !AuditLog(m_db).AppendInTransaction(
            actor, "sign", patient, "day " + day, QString(),
            QString("version %1, snapshot %2").arg(version).arg(hash)) ||
        !m_db.Commit())
        return abandon("cannot sign: " + m_db.LastError());
    return true;
}

bool DaySignOff::Amend(const Actor& actor, int patient, const QString& day, const QString& reason,
                       int& version, QString* error)
{
    if (!actor.accountsOn)
        return fail(error, "amending needs accounts");
    const QString refusal = actor.Refusal(Action::Amend);
    if (!refusal.isEmpty())
        return fail(error, refusal);
    const QString why = reason.simplified();
    if (why.isEmpty())
        return fail(error, "an amendment needs a reason (--reason TEXT)");
    const std::vector<DaySignature> versions = LoadDaySignatures(m_db, patient, day);
    if (versions.empty())
        return fail(error, "the day " + day + " is not signed: there is nothing to amend");
    if (!versions.back().Signed())
        return fail(error, QString("an amendment of %1 is already open (version %2)")
                               .arg(day)
                               .arg(versions.back().version));
    version = versions.back().version + 1;
    if (!m_db.BeginTransaction())
        return fail(error, "cannot amend: " + m_db.LastError());
    if (!m_db.Execute(
            "INSERT INTO DaySignOff (ID, SignDay, SignVersion, Reason, AmendedBy, AmendedAt) "
            "VALUES (?, ?, ?, ?, ?, ?)",
            {patient, day, version, why, actor.name, localNow()}) ||
        !AuditLog(m_db).AppendInTransaction(actor, "amend", patient, "day " + day,
                                            QString("version %1").arg(version - 1),
                                            QString("version %1 open: %2").arg(version).arg(why)) ||
        !m_db.Commit()) {
        m_db.Rollback();
        return fail(error, "cannot amend: " + m_db.LastError());
    }
    return true;
}

QByteArray DaySignOff::SignedReport(int patient, const QString& day, int version, QString* error)
{
    QSqlQuery q(m_db.Connection());
    q.prepare(
        "SELECT Snapshot, ReportPdf, SnapshotHash FROM DaySignOff WHERE ID = ? AND SignDay = ? AND "
        "SignVersion = ? AND Signer IS NOT NULL");
    q.addBindValue(patient);
    q.addBindValue(day);
    q.addBindValue(version);
    if (!q.exec() || !q.next()) {
        fail(error, QString("the day %1 of patient %2 has no signed version %3")
                        .arg(day)
                        .arg(patient)
                        .arg(version));
        return QByteArray();
    }
    const QJsonObject snapshot = QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object();
    const QByteArray pdf = q.value(1).toByteArray();
    const QString pdfHash =
        QString::fromLatin1(QCryptographicHash::hash(pdf, QCryptographicHash::Sha256).toHex());
    if (SnapshotHash(snapshot) != q.value(2).toString() ||
        snapshot["reportSha256"].toString() != pdfHash) {
        fail(error, QString("signed version %1 of %2 does not match its hash: it was altered")
                        .arg(version)
                        .arg(day));
        return QByteArray();
    }
    return pdf;
}
