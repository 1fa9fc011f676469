#pragma once
// The named fields of a ManeuverResult, in file order, for tables and JSON.
#include "core/measure/test_record.h"

#include <array>

struct ManeuverField {
    const char* name; // the record's name, e.g. "FEV1/FVC"
    bool isInteger;   // ELA, EVOL and the counts are integers
};

// The 38 named fields (the unused word at offset 140 is left out).
const std::array<ManeuverField, 38>& ManeuverFields();
// Value of field `index` of ManeuverFields() as a double.
double ManeuverFieldValue(const ManeuverResult& record, int index);
