#pragma once
// One patient's test day as it leaves for the hospital, loaded once: the
// day-result model with the report data, the exchanged values (those of the
// FHIR and GDT files), the report PDF (as signed, on a signed day) and the
// accession number of the order taken for the day.
#include "core/exchange/day_results.h"
#include "core/report/report_data.h"

#include <QByteArray>
#include <QString>

class Database;

struct HospitalDay {
    ReportData data;
    DayResults values;
    QByteArray pdf;
    QString accession; // "" when the day was not ordered
};

// False (with the reason) for an unknown patient, a malformed day, a day
// without tests or a report that cannot be written. `accession` overrides the
// order book when not empty.
bool LoadHospitalDay(Database& db, int patientId, const QString& day, HospitalDay& out,
                     const QString& accession = QString(), QString* error = nullptr);
