#include "core/exchange/fhir_bundle.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QRegularExpression>
#include <QUuid>

namespace {

const QUuid kIdNamespace("{6f1c2a7e-3d5b-4c8e-9a41-7b2e5d0c9f13}");
constexpr int kMaxIdLength = 64;

const char kObservationCategory[] = "http://terminology.hl7.org/CodeSystem/observation-category";
const char kInterpretationSystem[] =
    "http://terminology.hl7.org/CodeSystem/v3-ObservationInterpretation";
const char kDiagnosticServiceSystem[] = "http://terminology.hl7.org/CodeSystem/v2-0074";
const char kPatientNumberSystem[] = "urn:tav-spirometer:patient-number";

QJsonObject coding(const QString& system, const QString& code, const QString& display)
{
    QJsonObject c{{"system", system}, {"code", code}};
    if (!display.isEmpty())
        c["display"] = display;
    return c;
}

QJsonObject codeableConcept(const QJsonObject& coding, const QString& text)
{
    return QJsonObject{{"coding", QJsonArray{coding}}, {"text", text}};
}

QJsonObject quantity(double value, const QString& ucum)
{
    return QJsonObject{{"value", value}, {"unit", ucum}, {"system", kUcumSystem}, {"code", ucum}};
}

QJsonObject reference(const QString& fullUrl)
{
    return QJsonObject{{"reference", fullUrl}};
}

// FHIR dateTime with the local offset (a time without a zone is not allowed).
QString fhirDateTime(const QString& testTime)
{
    QDateTime local = QDateTime::fromString(testTime, "yyyy-MM-dd HH:mm:ss");
    if (!local.isValid())
        return testTime.left(10);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QJsonObject parameterCode(const ExchangeParameter& p, SessionPhase phase)
{
    const LoincCode& code = LoincForPhase(p, phase);
    const QString text = QString(p.name) + PhaseWords(phase);
    if (code.Exists())
        return codeableConcept(coding(kLoincSystem, code.code, code.display), text);
    return codeableConcept(coding(kLocalCodeSystem, p.slug, p.text), text);
}

QJsonObject component(const LoincCode& loinc, const QString& localCode, const QString& text,
                      const QJsonObject& value)
{
    QJsonObject c;
    c["code"] = loinc.Exists() ? codeableConcept(coding(kLoincSystem, loinc.code, loinc.display), text)
                               : codeableConcept(coding(kLocalCodeSystem, localCode, text), text);
    c["valueQuantity"] = value;
    return c;
}

QJsonObject observation(const DayResults& day, const ParameterResult& r, const QString& id,
                        const QString& patientUrl, const QString& deviceUrl)
{
    const ExchangeParameter& p = *r.parameter;
    QJsonObject o;
    o["resourceType"] = "Observation";
    o["id"] = id;
    o["status"] = "final";
    o["category"] = QJsonArray{codeableConcept(coding(kObservationCategory, "procedure", "Procedure"), "Procedure")};
    o["code"] = parameterCode(p, r.phase);
    o["subject"] = reference(patientUrl);
    o["effectiveDateTime"] = fhirDateTime(r.testTime.isEmpty() ? day.lastTestTime : r.testTime);
    o["device"] = reference(deviceUrl);
    o["valueQuantity"] = quantity(r.measured, p.ucum);
    if (r.lln) {
        QJsonObject range{{"low", quantity(*r.lln, p.ucum)},
                          {"text", "lower limit of normal (" + day.referenceSet + ")"}};
        o["referenceRange"] = QJsonArray{range};
        const bool low = r.BelowLln();
        o["interpretation"] = QJsonArray{codeableConcept(
            coding(kInterpretationSystem, low ? "L" : "N", low ? "Low" : "Normal"),
            low ? "below the lower limit of normal" : "within normal limits")};
    }
    QJsonArray components;
    const QString name = p.name;
    if (r.predicted)
        components.append(component(p.predicted, QString(p.slug) + "-predicted",
                                    name + " predicted (" + day.referenceSet + ")",
                                    quantity(*r.predicted, p.ucum)));
    if (r.zScore)
        components.append(component({}, QString(p.slug) + "-z-score", name + " z-score",
                                    quantity(*r.zScore, "{z-score}")));
    if (r.percentPredicted)
        components.append(component(p.percentPredicted, QString(p.slug) + "-percent-predicted",
                                    name + " % predicted", quantity(*r.percentPredicted, "%")));
    if (!components.isEmpty())
        o["component"] = components;
    if (r.usableOnly)
        o["note"] = QJsonArray{QJsonObject{{"text", kUsableOnlyNote}}};
    return o;
}

} // namespace

QString FhirResourceId(const QString& kind, const QStringList& parts)
{
    static const QRegularExpression notAllowed("[^A-Za-z0-9.\\-]");
    QStringList cleaned{kind};
    bool changed = false;
    for (const QString& part : parts) {
        QString clean = part;
        clean.replace(notAllowed, "-");
        changed = changed || clean != part || clean.isEmpty();
        cleaned << clean;
    }
    QString id = cleaned.join('-');
    if (changed || id.size() > kMaxIdLength) {
        const QByteArray hash =
            QCryptographicHash::hash(parts.join(QChar(0x1F)).toUtf8(), QCryptographicHash::Sha1)
                .toHex()
                .left(16);
        id = id.left(kMaxIdLength - 17) + '-' + QString::fromLatin1(hash);
    }
    return id;
}

QString FhirFullUrl(const QString& resourceType, const QString& id)
{
    return "urn:uuid:" + QUuid::createUuidV5(kIdNamespace, resourceType + '/' + id).toString(QUuid::WithoutBraces);
}

QJsonObject BuildFhirBundle(const DayResults& day, const FhirExportOptions& options)
{
    const QString number = day.patient.PatientNumber;
    const QString dayKey = QString(day.day).remove('-');
    QJsonArray entries;
    auto addEntry = [&](const QJsonObject& resource) {
        entries.append(QJsonObject{
            {"fullUrl", FhirFullUrl(resource["resourceType"].toString(), resource["id"].toString())},
            {"resource", resource}});
    };

    // Patient
    const QString patientId = FhirResourceId("patient", {number});
    const QString patientUrl = FhirFullUrl("Patient", patientId);
    QJsonObject patient{{"resourceType", "Patient"}, {"id", patientId}};
    patient["identifier"] = QJsonArray{QJsonObject{{"system", kPatientNumberSystem}, {"value", number}}};
    QJsonObject name{{"text", day.patient.Name}};
    const int comma = day.patient.Name.indexOf(", ");
    if (comma > 0) {
        name["family"] = day.patient.Name.left(comma);
        name["given"] = QJsonArray{day.patient.Name.mid(comma + 2)};
    }
    patient["name"] = QJsonArray{name};
    patient["gender"] = day.patient.Gender == 1 ? "female" : "male";
    if (day.patient.Birthdate.isValid())
        patient["birthDate"] = day.patient.Birthdate.toString("yyyy-MM-dd");
    addEntry(patient);

    // Device
    const QString serial = options.demoMode ? QString() : day.deviceId;
    const QString deviceId = FhirResourceId("device", {options.demoMode ? "virtual" : serial.isEmpty() ? "unknown" : serial});
    const QString deviceUrl = FhirFullUrl("Device", deviceId);
    QJsonObject device{{"resourceType", "Device"}, {"id", deviceId}};
    device["deviceName"] = QJsonArray{QJsonObject{
        {"name", options.demoMode ? "virtual spirometer" : "TAV turbine spirometer"},
        {"type", options.demoMode ? "user-friendly-name" : "model-name"}}};
    device["type"] = QJsonObject{{"text", "Spirometer"}};
    if (!serial.isEmpty())
        device["serialNumber"] = serial;
    if (!options.deviceVersion.isEmpty())
        device["version"] = QJsonArray{QJsonObject{{"value", options.deviceVersion}}};
    addEntry(device);

    // Observations
    QJsonArray results;
    std::vector<QJsonObject> observations;
    for (const ParameterResult& r : day.values) {
        QStringList parts{number, dayKey, r.parameter->slug};
        if (r.phase != SessionPhase::Unspecified)
            parts << PhaseKey(r.phase);
        const QString id = FhirResourceId("obs", parts);
        observations.push_back(observation(day, r, id, patientUrl, deviceUrl));
        results.append(reference(FhirFullUrl("Observation", id)));
    }

    // DiagnosticReport
    QJsonObject report{{"resourceType", "DiagnosticReport"},
                       {"id", FhirResourceId("report", {number, dayKey})},
                       {"status", "final"}};
    report["category"] = QJsonArray{codeableConcept(coding(kDiagnosticServiceSystem, "PF", "Pulmonary Function"), "Pulmonary function")};
    report["code"] = codeableConcept(coding(kLoincSystem, "81458-2", "Pulmonary function test panel"), "Spirometry");
    report["subject"] = reference(patientUrl);
    report["effectiveDateTime"] = fhirDateTime(day.lastTestTime);
    if (!results.isEmpty())
        report["result"] = results;
    if (!day.diagnosis.Result.trimmed().isEmpty())
        report["conclusion"] = day.diagnosis.Result.trimmed();
    if (!options.reportPdf.isEmpty())
        report["presentedForm"] = QJsonArray{QJsonObject{
            {"contentType", "application/pdf"},
            {"data", QString::fromLatin1(options.reportPdf.toBase64())},
            {"title", "Spirometry report " + day.day}}};
    addEntry(report);
    for (const QJsonObject& o : observations)
        addEntry(o);

    QJsonObject bundle{{"resourceType", "Bundle"},
                       {"id", FhirResourceId("bundle", {number, dayKey})},
                       {"type", "collection"},
                       {"entry", entries}};
    return bundle;
}
