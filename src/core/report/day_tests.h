#pragma once
// Whole test files of one patient, day and type, for the result tables, the
// curves and the report (the case store gives the rows; the curves need the
// pulse streams too).
#include "core/measure/test_file_reader.h"

#include <QString>

#include <vector>

class Database;

// One stored test: its row's file name and the file taken apart, and what
// its row keeps of the reference set (UserInfo.Standard then, 0..4, and the
// set's version) and BTPS (1 applied, 0 not). -1 and empty: not stored.
struct DayTest {
    QString dataName;
    TestFile file;
    int standard = -1;
    QString setVersion;
    int btps = -1;
};
using DayTestList = std::vector<DayTest>;

// The day's tests of `testType`, oldest first, each read whole from
// Case/<ID>/<DataName>. Rows whose name is not <digits>.dt, whose file is
// missing or unreadable, or whose file holds another type are left out.
DayTestList LoadDayTestFiles(Database& db, int patientId, const QString& day, int testType);

