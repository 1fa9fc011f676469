#pragma once
#include <QString>

class Database;

// How many tests of each kind the day holds (index 0 FVC, 1 VC, 2 MVV).
struct DayTestCounts {
    int byType[3] = {0, 0, 0};
};
DayTestCounts CountDayTests(Database& db, int id, const QString& day);
