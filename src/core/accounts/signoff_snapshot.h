#pragma once
// What a signature covers: the day's reported values, grades, interpretation
// and diagnosis as the day-result model gives them, and the SHA-256 of the
// report PDF as signed, in one JSON document ("tav-signoff/1"). Its hash is
// the SHA-256 of the document's compact UTF-8 bytes.
#include <QByteArray>
#include <QJsonObject>
#include <QString>

struct ReportData;

struct SignoffStamp {
    int version = 0;
    QString signer;
    QString signedAt;
    QString reason; // the amendment's reason, versions after the first
};

QJsonObject MakeSignoffSnapshot(const ReportData& data, const SignoffStamp& stamp,
                                const QByteArray& reportPdf);

QString SnapshotHash(const QJsonObject& snapshot);
