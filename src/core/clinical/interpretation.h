#pragma once
// A suggested interpretation of spirometry from z-scores and the LLN (5th
// centile): obstruction, reduced FEV1 and FVC with a preserved ratio, the
// severity by the FEV1 z-score, and the bronchodilator response. Only GLI
// sets give an LLN for every parameter, so only they are interpreted.
#include "core/clinical/gli_equations.h"

#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

enum class Severity { Normal, Mild, Moderate, Severe };

// normal z >= -1.645, mild -2.5 <= z < -1.645, moderate -4 <= z < -2.5, severe z < -4.
// The z-score is taken to three decimals, so a value at its LLN reads as normal.
Severity SeverityOfZ(double z);
QString SeverityName(Severity severity); // "normal", "mild", "moderate", "severe"
QString SeverityText(Severity severity); // the same in the user's language

enum class SpirometryPattern {
    Normal,            // everything at or above LLN
    Obstruction,       // FEV1/FVC below LLN
    ObstructionLowFvc, // ... and FVC below LLN: air trapping or added restriction
    PreservedRatio,    // FEV1 and FVC below LLN, FEV1/FVC at or above (PRISm, restriction, non-specific)
    NonSpecific,       // FEV1 or FVC alone below LLN with a preserved ratio
};
QString PatternName(SpirometryPattern pattern); // stable key: "normal", "obstruction", ...
QString PatternText(SpirometryPattern pattern); // the sentence shown to the physician

struct InterpretedValue {
    bool available = false;
    double value = 0, pred = 0, lln = 0, z = 0, percentPredicted = 0;
    Severity severity = Severity::Normal;
};

// Change from pre to post bronchodilator; significant when it exceeds 10 % of the predicted value.
struct BronchodilatorChange {
    bool available = false;
    double litres = 0;
    double percent = 0;           // of the pre value
    double percentPredicted = 0;  // of the predicted value
    bool significant = false;
};
BronchodilatorChange ChangeAfterBronchodilator(double pre, double post, double predicted);

struct BronchodilatorResponse {
    BronchodilatorChange fev1, fvc;
    bool significant() const { return fev1.significant || fvc.significant; }
};

struct Interpretation {
    bool available = false;
    QString unavailableReason;
    InterpretedValue fev1, fvc, ratio; // ratio as a fraction
    bool obstruction = false;
    bool prism = false;
    SpirometryPattern pattern = SpirometryPattern::Normal;
    Severity severity = Severity::Normal; // that of FEV1
    std::optional<BronchodilatorResponse> bdr;
    QStringList rules; // the rules that produced it, in words
    // Why these values cannot be read the usual way (a grade below C, a
    // z-score beyond +-5); empty when they can. A qualified interpretation
    // never calls the values within normal limits.
    QString caveat;
};

struct SpirometryValues {
    double fev1 = 0;
    double fvc = 0;
};

// Interprets `measured` (pre-bronchodilator when `post` is given); FEV1/FVC is computed from them.
Interpretation Interpret(const GliEquations& gli, GliSet set, const GliSubject& subject,
                         const SpirometryValues& measured,
                         const std::optional<SpirometryValues>& post = std::nullopt);

// Grades worse than C, or a reported value with |z| over 5 (`zScores`, by
// record name), make the interpretation say why it cannot be read normally.
inline constexpr double kImplausibleZ = 5.0;
void QualifyInterpretation(Interpretation& interpretation, char fev1Grade, char fvcGrade,
                           const std::vector<std::pair<QString, double>>& zScores);

// The interpretation in one sentence, as the physician may take it into the
// diagnosis: the pattern, its severity, the bronchodilator response.
QString SuggestionText(const Interpretation& interpretation);
