#pragma once
// One test day as a FHIR R4 Bundle of type "collection": the Patient, the
// spirometer as a Device, a DiagnosticReport with the PDF report, and one
// Observation per exchanged parameter. Resource ids derive from the patient
// number, the day and the parameter, so exporting a day again gives the same ids.
#include "core/exchange/day_results.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

struct FhirExportOptions {
    QByteArray reportPdf;  // the day's report; no presentedForm when empty
    bool demoMode = false; // the values came from the virtual spirometer
    QString deviceVersion; // firmware version where the device reported it
};

// "kind-part-part..." restricted to the characters FHIR allows in an id; a part
// that needed changing, or an id past 64 characters, gets a hash so that two
// different inputs never share an id.
QString FhirResourceId(const QString& kind, const QStringList& parts);

// "urn:uuid:" + a name-based UUID of "Type/id": stable like the id itself.
QString FhirFullUrl(const QString& resourceType, const QString& id);

QJsonObject BuildFhirBundle(const DayResults& day, const FhirExportOptions& options);
