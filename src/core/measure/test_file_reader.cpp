#include "test_file_reader.h"

int TrailerLength(const TestFileHeader&, int) { return 0; }
bool IsTestFileName(const QString&) { return false; }
bool ReadTestHead(const QString&, TestFileHeader&, ManeuverResult&, QString*) { return false; }
bool ParseTestFile(const QByteArray&, TestFile&, QString*) { return false; }
bool ReadTestFile(const QString&, TestFile&, QString*) { return false; }
bool ParseSamples(const QByteArray&, const TestFileHeader&, int, PulseStream&, QString*) { return false; }
bool LoadCaseHeader(const QString&, const QString&, int, CaseHeaderList&) { return false; }
int LoadCaseHeaders(Database&, int, int, int, CaseHeaderList&) { return 0; }
