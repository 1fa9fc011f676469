#pragma once
// After each blow of a live FVC session, before the next: the blow's one
// verdict in words with its reasons, the repeatability so far, how many more
// blows are worth doing, and the grades so far, judged as the stored session
// will be (the blows that can be kept, in the order they were blown).
#include "core/clinical/session_assessment.h"
#include "core/measure/maneuver_check.h"
#include "core/measure/test_record.h"

#include <QString>
#include <QStringList>

#include <vector>

struct LiveGrading {
    SessionAssessment assessment; // of the blows that can be kept
    std::vector<int> blows;       // their indices in the test, in the same order
    QString verdict;              // "Blow n: acceptable" of the last blow judged
    QStringList reasons;          // why the last blow is not acceptable
    QString repeatability;        // FVC and FEV1 apart, against the age's limit
    QString moreBlows;            // how many more blows are worth doing
    QString grade;                // "Grade so far: FEV1 x, FVC y"
};

// At most this many blows make a session; three acceptable, repeatable ones are the aim.
inline constexpr int kSessionBlows = 8;
inline constexpr int kAimedBlows = 3;

// `measures` of the blows that can be kept, `blows` their indices among the
// `blown` blows of the session so far.
LiveGrading JudgeBlowsSoFar(const std::vector<ManeuverMeasures>& measures, std::vector<int> blows,
                            int blown, double ageYears);

// The same from the live store. `expCoefficient`: the test's BTPS-corrected expiratory coefficient.
LiveGrading GradeLiveSession(const ManeuverList& list, const std::vector<ManeuverStatus>& statuses,
                             const PulseStream& stream, int expCoefficient, double ageYears);
