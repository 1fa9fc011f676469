#pragma once
// The clinical summary of a test day: for FEV1, FVC and FEV1/FVC the reported
// value of each phase against the patient's GLI set (predicted, LLN, z-score,
// % predicted, grade), the bronchodilator response, and the suggested
// interpretation; painted as a table with z-score bars from -5 to +3.
#include "core/clinical/interpretation.h"
#include "core/report/day_sessions.h"

#include <QPainter>
#include <QRectF>
#include <QString>

#include <optional>

struct SummaryCell {
    bool present = false;
    double value = 0;
    bool usableOnly = false;
    char grade = 0; // FEV1 and FVC only
    InterpretedValue reference; // available only with a GLI set
};

struct SummaryRow {
    QString name; // "FEV1", "FVC", "FEV1/FVC"
    SummaryCell pre, post;
    BronchodilatorChange change;
};

struct ClinicalSummary {
    QString setName;  // empty: the patient's set is not a GLI set
    bool hasPost = false;
    SummaryRow rows[3];
    std::optional<Interpretation> interpretation;
    QString note; // why there is no interpretation
};

// From the day's sessions: the last pre session (or the only phase there is)
// and the last post session after it.
ClinicalSummary BuildClinicalSummary(const std::vector<StoredSession>& sessions, std::optional<GliSet> set,
                                     const GliSubject& subject, const GliEquations& gli);

// Table and bars into `rect`; returns the height used.
double PaintClinicalSummary(QPainter& painter, const QRectF& rect, const ClinicalSummary& summary);

// Where a z-score sits on a bar of `width` from -5 (0) to +3 (width), clamped.
double ZBarPosition(double z, double width);
