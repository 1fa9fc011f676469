#pragma once
// The PDF of a day's report as it goes to the hospital (HL7 ED observation,
// DICOM Encapsulated PDF). The one place that chooses which version of the
// report leaves: once a day can be signed, its signed version is taken here.
#include <QByteArray>
#include <QString>

struct ReportData;

bool DayReportPdf(const ReportData& data, QByteArray& pdf, QString* error = nullptr);
