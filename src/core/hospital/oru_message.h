#pragma once
// A test day as an HL7 v2.5.1 ORU^R01 message: MSH, PID, ORC and OBR (with
// the accession number of the order, when there was one), one OBX per
// reported value and phase (LOINC and UCUM as in the FHIR export, reference
// range from LLN and ULN, abnormal flag from the LLN), OBX for each phase's
// grades, the interpretation and the physician's conclusion, and the report
// PDF as an ED OBX. UTF-8, declared in MSH-18; segments end in CR.
// docs/exchange.md lists every segment and field.
#include "core/hospital/hospital_day.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct OruOptions {
    QString sendingFacility;      // MSH-4
    QString receivingApplication; // MSH-5
    QString receivingFacility;    // MSH-6
    QString assigningAuthority;   // PID-3.4
    QString controlId;            // MSH-10: unique per message
    QDateTime created;            // MSH-7
};

inline constexpr char kHl7SendingApplication[] = "TAV Spirometer";

QByteArray BuildOruMessage(const HospitalDay& day, const OruOptions& options);

// A message control id no other message of this program shares (20 characters).
QString NewHl7ControlId();
