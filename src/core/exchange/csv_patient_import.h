#pragma once
// Patients from a CSV with the export's patient columns. Every row is checked
// by the patient editor's rules; a row that breaks one is refused with the
// reason and nothing of it is stored. Rows repeating a patient already taken
// from the file (the export has one row per test) are counted, not stored twice.
#include <QByteArray>
#include <QString>

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

// False (with `error`) only when the file as a whole cannot be read: not CSV,
// or a required column missing. Row faults go to the report.
bool ImportPatientsCsv(Database& db, const QByteArray& csv, CsvImportReport& report,
                       QString* error = nullptr);

// A patient table far beyond any practice's register (a million rows of the
// export's columns fit) is not read.
constexpr qint64 kMaxPatientCsvSize = 256LL << 20;

// The same from a file: only a regular file of at most kMaxPatientCsvSize bytes
// is read; a FIFO, a device (also behind a link) or a larger file is refused at
// once with the reason in `error`, and nothing is stored.
bool ImportPatientsCsvFile(Database& db, const QString& path, CsvImportReport& report,
                           QString* error = nullptr);
