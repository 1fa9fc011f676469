#pragma once
// Readers of test files. Every length and offset is checked against the
// bytes the file really holds: a short or inconsistent file is reported, never
// read past its end.
#include "core/measure/test_record.h"

#include <QByteArray>
#include <QString>

#include <vector>

class Database;

// Which curve reader discounts the trailer: FVC and VC readers 32 bytes, MVV 40.
int TrailerLength(const TestFileHeader& header, int readerType);

// True for a DataName of the form <digits>.dt (nothing else is ever opened).
bool IsTestFileName(const QString& name);

// A whole test file taken apart.
struct TestFile {
    TestFileHeader header;
    ManeuverResult record;
    AcceptanceFlags acceptance; // all ones unless the trailer flag is set
    PulseStream samples;
};

// Header and record at the start of `bytes`, checked to be a test file.
bool ParseTestHead(const QByteArray& bytes, TestFileHeader& header, ManeuverResult& record,
                   QString* error = nullptr);

// Header and record at the start of the file (case services, trend curves).
bool ReadTestHead(const QString& path, TestFileHeader& header, ManeuverResult& record,
                  QString* error = nullptr);

// Header, record, flags and the sample block as the curve reader of the
// file's own test type reads it.
bool ParseTestFile(const QByteArray& bytes, TestFile& file, QString* error = nullptr);
bool ReadTestFile(const QString& path, TestFile& file, QString* error = nullptr);

// The sample block of `bytes` as the curve reader of `readerType` sees it.
bool ParseSamples(const QByteArray& bytes, const TestFileHeader& header, int readerType,
                  PulseStream& samples, QString* error = nullptr);

// One entry of a case list.
struct CaseHeaderList {
    std::vector<TestFileHeader> headers;
    ManeuverList records;
    std::vector<AcceptanceFlags> flags;
    int Count() const { return int(headers.size()); }
};

// Reads <caseFolder>/<dataName> into the lists when it is a test of `testType`;
// returns false (and appends nothing) when the file is skipped.
bool LoadCaseHeader(const QString& caseFolder, const QString& dataName, int testType,
                    CaseHeaderList& lists);
// The same for the bytes of the test file `dataName`.
bool AddCaseHeader(const QByteArray& bytes, const QString& dataName, int testType,
                   CaseHeaderList& lists);

// Every CaseInfo row of the patient and type (year 0: all years), oldest
// first, read through the database's case file store. Returns the number of entries appended.
int LoadCaseHeaders(Database& db, int patientId, int testType, int year, CaseHeaderList& lists);
