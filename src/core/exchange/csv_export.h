#pragma once
// The tests of many patients as one table for research, read from the
// day-result model: one row per plausible test ("blow") and one per FVC phase
// with the values the day reports ("reported"), each with the patient's data,
// the day's reference set, the date-time, type and phase, and every measured
// parameter with its predicted value, lower limit of normal, z-score and
// percent of predicted. Dates ISO, decimal point whatever the locale.
#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

class Database;

// The patient columns, also what an import of patients reads.
QStringList CsvPatientColumns();
// Every column of the export, in order.
QStringList CsvExportColumns();

struct CsvExportResult {
    int rows = 0;    // tests written
    int skipped = 0; // rows whose test file could not be read or holds a damaged record
};

// The table of every test between `from` and `to` (both days included; an
// invalid date leaves that end open), patients by key, tests oldest first.
bool BuildTestsCsv(Database& db, const QDate& from, const QDate& to, QByteArray& csv,
                   CsvExportResult& result, QString* error = nullptr);

// The same, written atomically to `path`.
bool ExportTestsCsv(Database& db, const QDate& from, const QDate& to, const QString& path,
                    CsvExportResult& result, QString* error = nullptr);
