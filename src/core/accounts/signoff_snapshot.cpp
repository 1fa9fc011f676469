#include "core/accounts/signoff_snapshot.h"

#include "core/clinical/interpretation.h"
#include "core/measure/test_store.h"
#include "core/report/report_data.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QJsonObject phaseJson(const PhaseValues& phase)
{
    QJsonObject values;
    for (const auto& [name, value] : phase.reported.values)
        values[name] = QJsonObject{{"value", value.value}, {"usableOnly", value.usableOnly}};
    return QJsonObject{{"phase", phase.phase == kPhasePost ? "post" : "pre"},
                       {"maneuvers", phase.maneuverCount},
                       {"withheld", phase.withheld},
                       {"fev1Grade", QString(QChar(phase.reported.fev1Grade))},
                       {"fvcGrade", QString(QChar(phase.reported.fvcGrade))},
                       {"values", values}};
}

} // namespace

QJsonObject MakeSignoffSnapshot(const ReportData& data, const SignoffStamp& stamp,
                                const QByteArray& reportPdf)
{
    const DayResult& day = data.result;
    QJsonArray phases;
    for (const PhaseValues& phase : day.phases)
        phases.append(phaseJson(phase));
    QJsonObject json{{"format", "tav-signoff/1"},
                     {"patient", data.patient.ID},
                     {"patientNumber", data.patient.PatientNumber},
                     {"day", data.day},
                     {"version", stamp.version},
                     {"signer", stamp.signer},
                     {"signedAt", stamp.signedAt},
                     {"reason", stamp.reason},
                     {"referenceSet", day.setName},
                     {"phases", phases},
                     {"diagnosis", QJsonObject{{"physician", data.diagnosis.Physician},
                                               {"result", data.diagnosis.Result}}},
                     {"reportSha256", sha256(reportPdf)}};
    if (day.vcResult.bestTest >= 0)
        json["VC"] = day.vcResult.record.VC;
    if (day.mvvResult.bestTest >= 0)
        json["MVV"] = day.mvvResult.record.MVV;
    json["interpretation"] = day.interpretation && day.interpretation->available
                                 ? QJsonObject{{"text", SuggestionText(*day.interpretation)},
                                               {"caveat", day.interpretation->caveat}}
                                 : QJsonObject{{"note", day.interpretationNote}};
    return json;
}

QString SnapshotHash(const QJsonObject& snapshot)
{
    return sha256(QJsonDocument(snapshot).toJson(QJsonDocument::Compact));
}
