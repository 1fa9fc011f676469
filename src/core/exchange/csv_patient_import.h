#pragma once
// Patients from a CSV with the export's patient columns. Every row is checked
// by the patient editor's rules; a row that breaks one is refused with the
// reason and nothing of it is stored. Rows repeating a patient already taken
// from the file (the export has one row per test) are counted, not stored twice.
#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class Database;

struct CsvImportRow {
    int line = 0; // line of the file (the header is line 1)
    QString patientNumber;
    QString reason; // refused rows only
    int patientId = 0; // taken rows only
};

struct CsvImportReport {
    std::vector<CsvImportRow> taken;
    std::vector<CsvImportRow> refused;
    int repeated = 0;
};

// Told after each row: rows done, rows in all (a long import shows progress).
using CsvImportProgress = std::function<void(int done, int total)>;

// False (with `error`) only when the file as a whole cannot be read: not CSV,
// or a required column missing. Row faults go to the report.
bool ImportPatientsCsv(Database& db, const QByteArray& csv, CsvImportReport& report,
                       QString* error = nullptr, const CsvImportProgress& progress = {});

// A patient table far beyond any practice's register (a million rows of the
// export's columns fit) is not read: the file is read with RegularFile (only a
// regular file, at most this size) before any database is opened.
constexpr qint64 kMaxPatientCsvSize = 256LL << 20;
