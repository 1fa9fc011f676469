#pragma once
// A patient's test day handed to another system in one call, for the results
// page and tavctl alike: the FHIR bundle file, or the GDT result file with the
// PDF report beside it.
#include "core/exchange/exchange_settings.h"

#include <QString>

class Database;

// The day's report as PDF at `path`, written under a temporary name and renamed.
bool WriteDayReportPdf(Database& db, int patientId, const QString& day, const QString& path,
                       QString* error = nullptr);

struct DayExportSummary {
    QString file;   // the bundle or the GDT result file
    QString pdf;    // the PDF report beside a GDT result ("" when none)
    QString bundle; // the bundle's id
    int resources = 0;
    int values = 0; // observations or GDT test values
};

// The bundle (with the PDF report inside) written atomically to `path`.
bool ExportDayFhir(Database& db, int patientId, const QString& day, const QString& path,
                   bool demoMode, DayExportSummary* summary = nullptr, QString* error = nullptr);

// The 6310 result written atomically to `path` (empty: the exchange folder and
// the result file name of `settings`), the PDF report first, beside it, when
// `withPdf`. False when no path is given and no folder is set.
bool ExportDayGdt(Database& db, int patientId, const QString& day, const ExchangeSettings& settings,
                  const QString& path, bool withPdf, DayExportSummary* summary = nullptr,
                  QString* error = nullptr);
