#pragma once
// The quality of a day's tests said in words, both what holds and what does
// not: the ATS/ERS 2019 verdict on the blow shown, and per bronchodilator
// phase its blows, grades and repeatability. The results page and the
// printed report show the same statement, read from the day-result model.
#include "core/measure/test_record.h"
#include "core/report/day_result.h"

#include <QString>

struct QualityStatement {
    QString test; // acceptability of the shown test
    // per phase: blows, grades, repeatability; damaged tests; a post phase
    // without pre; the last syringe check and the day's flag
    QString day;
};

// "Calibration check overdue" / "Calibration check failed"; empty for none.
QString CheckFlagText(CheckFlag flag);

// `shownIndex` into the day's tests of `testType` (0-based); an index outside gives an empty test line.
QualityStatement DayQualityStatement(int testType, const DayResult& day, int shownIndex);

// A physician's review beside the automatic verdict: "#2 automatic: not
// acceptable; reviewer: acceptable - late start seen on the curve, anna."
QString ReviewText(const ReviewedBlow& blow);
