#pragma once
#include <QString>

#include <vector>

class Database;

// One CaseInfo row of a test day, as the results page lists it.
struct DayTestRow {
    QString dataName; // "<n>.dt"
    QString testTime; // "YYYY-MM-DD hh:mm:ss"
    double fvc = 0;
    double fev1 = 0;
    double pef = 0;
    double vc = 0;
    double mvv = 0;
    int duration = 0;
};

// The tests of kind `testType` (0 FVC, 1 VC, 2 MVV) of patient `id` on `day`
// ("YYYY-MM-DD"), oldest first; nothing for id < 1 or a day that is not a date.
std::vector<DayTestRow> ReadDayTestRows(Database& db, int id, int testType, const QString& day);

// How many tests of each kind the day holds (index 0 FVC, 1 VC, 2 MVV).
struct DayTestCounts {
    int byType[3] = {0, 0, 0};
};
DayTestCounts CountDayTests(Database& db, int id, const QString& day);
