#pragma once
// The parameters the program hands to other systems, with their codes: LOINC
// for FHIR (plain, pre- and post-bronchodilator, predicted, measured/predicted,
// where LOINC has one), UCUM units, and the test that measures each.
// docs/exchange.md lists every code with its source.
#include "core/measure/test_record.h"

#include <vector>

struct LoincCode {
    const char* code = nullptr; // null: LOINC has none, the local code system is used
    const char* display = nullptr;
    bool Exists() const { return code != nullptr; }
};

struct ExchangeParameter {
    const char* name;     // the record's name, e.g. "FEV1/FVC"
    const char* slug;     // the same usable in ids and CSV headers, e.g. "FEV1-FVC"
    const char* text;     // what it is, in words
    const char* ucum;     // UCUM unit code (also the printed unit)
    int testType;         // the test that measures it
    float ManeuverResult::*field;
    LoincCode loinc;      // phase not stated
    LoincCode loincPre;   // before a bronchodilator
    LoincCode loincPost;  // after a bronchodilator
    LoincCode predicted;  // the predicted value
    LoincCode percentPredicted;
};

// FVC, FEV1, FEV1/FVC, PEF, FEF25-75, FEV6, FET, VC, MVV.
const std::vector<ExchangeParameter>& ExchangeParameters();
const ExchangeParameter* FindExchangeParameter(const char* name);

// The code system of this program for what LOINC does not name (z-scores, MVV).
inline constexpr char kLocalCodeSystem[] = "urn:tav-spirometer:spirometry";
inline constexpr char kLoincSystem[] = "http://loinc.org";
inline constexpr char kUcumSystem[] = "http://unitsofmeasure.org";
