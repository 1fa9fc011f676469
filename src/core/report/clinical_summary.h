#pragma once
// The clinical summary of a test day: for FEV1, FVC and FEV1/FVC the reported
// value of each phase against the patient's GLI set (predicted, LLN, z-score,
// % predicted, grade), the bronchodilator response, and the suggested
// interpretation; painted as a table with z-score bars from -5 to +3.
// Read from the day-result model.
#include "core/clinical/interpretation.h"
#include "core/report/day_result.h"

#include <QPainter>
#include <QRectF>
#include <QString>

#include <cmath>
#include <optional>
#include <vector>

struct SummaryCell {
    bool present = false;
    double value = 0;
    bool usableOnly = false;
    char grade = 0; // FEV1 and FVC only
    InterpretedValue reference; // available only with a GLI set
    double predicted = std::nan("");        // an older set's prediction, where it has one
    double percentPredicted = std::nan(""); // ... and the value's percentage of it
};

struct SummaryRow {
    QString name; // "FEV1", "FVC", "FEV1/FVC"
    SummaryCell pre, post;
    BronchodilatorChange change;
};

struct ClinicalSummary {
    QString setName;  // the day's reference set, exactly as named
    bool referenced = false; // the set gives LLN and z-scores (a GLI set)
    int firstPhase = 0; // the phase of the first column: pre, or post on a day of post only
    bool hasPost = false; // a second column, post, beside pre
    QString firstNote, postNote; // each phase's grades, or why its values are withheld
    bool firstWithheld = false, postWithheld = false;
    QString footnote; // what "*" means, when a value carries it
    // FEV1, FVC and FEV1/FVC first (with z-score bars), then the other reported
    // values (PEF, FEF2575, FEV6, FET), referenced where the set has an equation.
    std::vector<SummaryRow> rows;
    static constexpr int kBarRows = 3;
    std::optional<Interpretation> interpretation;
    QString note; // why there is no interpretation
};

// From the day's phase values (every manoeuvre of a phase judged together),
// its bronchodilator response and its interpretation: what `tavctl session`
// prints and the exchange files carry.
ClinicalSummary BuildClinicalSummary(const DayResult& day);

// Table and bars into `rect`; returns the height used.
double PaintClinicalSummary(QPainter& painter, const QRectF& rect, const ClinicalSummary& summary);

// Each manoeuvre of the day's sessions: phase, number, FVC, FEV1, PEF, the
// back-extrapolated volume, FET, hesitation, its acceptability for FEV1 and FVC
// and the reasons; rows that do not fit into `rect` are left out, and the
// last line says how many. Returns the height used.
double PaintManeuverTable(QPainter& painter, const QRectF& rect, const DayResult& day);

// Where a z-score sits on a bar of `width` from -5 (0) to +3 (width), clamped;
// a z beyond either end is drawn at the end with an off-scale mark.
double ZBarPosition(double z, double width);
bool ZOffScale(double z);
