#pragma once
#include <QString>

#include <array>

class Database;

// One row of the Predict table: the six coefficient terms of the ten equation
// slots (0 FVC, 1 FEV1, 2 FEV1/FVC, 3 FEF2575, 4 PEF, 5 FEF50, 6 FEF75, 7 FEF25,
// 8 MVV, 9 ERV) and the ratio factor F of slot 2.
struct PredictEquation {
    using Slots = std::array<float, 10>;
    int F = 0;
    Slots C{}, Hc{}, Ac{}, AAc{}, HHc{}, Sc{};
};

// The ten predicted slot values and the FEV1/FVC ratio P[1]/P[0] behind them.
struct PredictedSlots {
    std::array<float, 10> P{};
    float R = 0;
};

// Parses a "/"-separated coefficient list into `values`, which the caller has
// preset. Blanks are removed first; a list without "/" leaves `values` alone;
// otherwise the numbers fill slots 0, 1, ... by the atof rule, never more than ten.
void ParseCoefficientList(const QString& text, PredictEquation::Slots& values);

// Slot i preset to i/10, as every term starts before its list is parsed.
PredictEquation::Slots DefaultCoefficients();

// DuBois body surface area in m^2 (weight kg, height cm), formed in double, kept in single.
float BodySurfaceArea(int weightKg, int heightCm);

// The age the equations use: 0 for ages up to 0, 99 for ages from 100.
int PredictionAge(int age);

// The first Predict row of the standard, gender and age band (lower limit
// inclusive, upper exclusive); false when there is none.
bool LoadPredictEquation(Database& db, int standard, int gender, int age, PredictEquation& eq);

// Evaluates every slot for the given height (cm), age (years) and body surface area,
// in single precision: HHc*H^2 + AAc*A^2 + Ac*A + Hc*H + Sc*BSA + C, slot 2 with R*F in front.
PredictedSlots EvaluatePredictEquation(const PredictEquation& eq, int heightCm, int age, float bsa);
