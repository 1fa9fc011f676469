#pragma once
// Readers of test files. Every length and offset is checked against the
// bytes the file really holds: a short or inconsistent file is reported, never
// read past its end.
#include "core/measure/test_record.h"

#include <QByteArray>
#include <QString>

#include <vector>


// The largest test file there can be: ten minutes of breathing at 20 L/s
// through the turbine's finest pulse (5 mL, coefficient 50), 8 bytes a pulse,
// after the fixed part and before the longest trailer. Readers refuse larger
// files, which can only be damaged or planted.
inline constexpr qint64 kMaxTestSamples = 600LL * 20 * 200;
inline constexpr qint64 kMaxTestFileSize = kSampleOffset + 8 * kMaxTestSamples + 40;

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

// Header, record, flags and the sample block as the curve reader of the
// file's own test type reads it.
bool ParseTestFile(const QByteArray& bytes, TestFile& file, QString* error = nullptr);
bool ReadTestFile(const QString& path, TestFile& file, QString* error = nullptr);

// The sample block of `bytes` as the curve reader of `readerType` sees it.
bool ParseSamples(const QByteArray& bytes, const TestFileHeader& header, int readerType,
                  PulseStream& samples, QString* error = nullptr);
