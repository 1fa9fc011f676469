#pragma once
// A session's manoeuvres judged together: each one's acceptability (in the
// order they were blown), the repeatability grade A-F/U for FEV1 and FVC,
// and the values to report.
#include "core/clinical/maneuver_acceptability.h"

#include <optional>
#include <vector>

struct ParameterGrade {
    char grade = 'F';
    int acceptable = 0;
    int usable = 0;
    double spread = std::nan(""); // largest minus second largest acceptable value, L
};

// The grade of one parameter from its acceptable values and the number of
// usable ones, by the repeatability bands of the age (over 6: 0.150, 0.200,
// 0.250 L; 6 and under: 0.100, 0.150, 0.200 L or 10 % of the highest).
ParameterGrade GradeParameter(std::vector<double> acceptableValues, int usableCount, double ageYears);

struct ReportedValue {
    bool present = false;
    double value = 0;
    int maneuver = -1;       // index into the session's manoeuvres
    bool usableOnly = false; // nothing was acceptable: the largest usable value, marked so
};

struct SessionAssessment {
    std::vector<ManeuverAcceptability> maneuvers;
    ParameterGrade fev1Grade, fvcGrade;
    ReportedValue fev1, fvc;
    int flowsManeuver = -1; // the manoeuvre whose flows (PEF, FEF...) are reported
    bool flowsUsableOnly = false;

    // Reported FEV1 / reported FVC as a fraction; NaN when either is missing.
    double fev1Fvc() const;
};

// `reviewed`, when given, holds per manoeuvre a physician's word on it: true
// counts it as acceptable (and usable) for FEV1 and FVC, false as not
// acceptable; grades and reported values then follow from those verdicts.
SessionAssessment AssessSession(const std::vector<ManeuverMeasures>& maneuvers, double ageYears,
                                const std::vector<std::optional<bool>>& reviewed = {});
