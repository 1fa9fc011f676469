#pragma once
// After each blow of a live FVC session: the blow's acceptability in words,
// with the reasons, and the grades so far, judged as the stored session will
// be (the blows that can be kept, in the order they were blown).
#include "core/clinical/session_assessment.h"
#include "core/measure/maneuver_check.h"
#include "core/measure/test_record.h"

#include <QString>
#include <QStringList>

#include <vector>

struct LiveGrading {
    SessionAssessment assessment; // of the blows that can be kept
    std::vector<int> blows;       // their indices in the test, in the same order
    QString lastBlow;             // "Blow n - FEV1: ...; FVC: ..." of the last blow judged
    QStringList reasons;          // why the last blow is not acceptable
    QString grade;                // "Grade so far: FEV1 x, FVC y"
};

// `expCoefficient`: the test's BTPS-corrected expiratory coefficient.
LiveGrading GradeLiveSession(const ManeuverList& list, const std::vector<ManeuverStatus>& statuses,
                             const PulseStream& stream, int expCoefficient, double ageYears);
