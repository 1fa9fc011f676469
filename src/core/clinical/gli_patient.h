#pragma once
// GLI sets as a patient's reference standard: the standard numbers, the
// GLI-2012 ethnic group a nation group stands for, and predicted values in
// the record's fields for the tables the older sets fill.
#include "core/clinical/gli_equations.h"
#include "core/measure/test_record.h"

#include <optional>

// Standards 0-2 are the older equation sets of the Predict table.
inline constexpr int kStandardGli2012 = 3;
inline constexpr int kStandardGliGlobal2022 = 4;
inline constexpr int kStandardCount = 5;

std::optional<GliSet> GliSetOfStandard(int standard);

// The set as the user knows it: "ERS", "Knudson", "USA", and the GLI sets by
// their language texts ("GLI-2012", "GLI Global 2022"). Empty for any other number.
QString ReferenceSetLabel(int standard);
// The set's name as reports and exchange files carry it, the same in every
// language: "ERS", "Knudson", "USA", "GLI-2012", "GLI Global 2022".
QString ReferenceSetName(int standard);

// The version of a set's equations that every stored test keeps beside the
// standard number, so that a past day names the equations it was read
// against: "2012" for GLI-2012, "2022" for GLI Global 2022; the older sets
// have one version each in the Predict table and keep its word ("ERS",
// "Knudson", "USA"). Empty for any other number.
QString ReferenceSetVersion(int standard);

// The whole years of age a set's equations cover: the GLI sets 3 to 95, the
// older sets of the Predict table 6 to 100 (also for an unknown number).
struct AgeRange {
    int low = 6;
    int high = 100;
    bool Contains(int age) const { return age >= low && age <= high; }
};
AgeRange ReferenceSetAges(int standard);

// The GLI-2012 group a nation group's name stands for; 0 when it does not map
// clearly (the editor asks then).
int EthnicGroupOfNation(const QString& nationGroupName);

// Clears `out` and fills FEV1, FVC, FEV1/FVC (percent, as the record keeps it),
// FEF25-75, FEF75 and ERV where the set has an equation for the person; every
// other field stays 0, so no parameter shows a value borrowed from another.
// Returns false when nothing could be predicted (age outside every equation).
bool FillGliPredicted(const GliEquations& gli, GliSet set, const GliSubject& subject, ManeuverResult& out);
