#pragma once
// The quality of a day's tests said in words, both what holds and what does
// not: the start and end of the test shown, and the repeatability over the
// day. The results page and the printed report show the same statement.
#include "core/measure/test_record.h"
#include "core/report/day_tests.h"

#include <QString>

struct QualityStatement {
    QString test; // acceptability of the shown test
    QString day;  // number of tests and repeatability over the day
};

// `shownIndex` into `tests` (0-based); an index outside gives an empty test line.
QualityStatement DayQualityStatement(int testType, const DayTestList& tests, int shownIndex);

// The live test's word on a blow as soon as it is closed: its number, FVC and
// FEV1, whether it started without hesitation, and a good end once it lasted
// six seconds (a shorter blow is judged at saving time, when its samples are read).
QString BlowVerdict(int number, const ManeuverResult& blow);
