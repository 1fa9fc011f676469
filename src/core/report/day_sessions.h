#pragma once
// A day's FVC sessions as stored: the rows grouped by their session, each
// manoeuvre read from its file and graded, each session assessed.
#include "core/clinical/session_assessment.h"
#include "core/measure/test_file_reader.h"

#include <QDateTime>
#include <QString>

#include <vector>

class Database;

struct StoredManeuver {
    QString dataName;
    QString testTime;
    int maneuver = 1;
    TestFile file;
    ManeuverMeasures measures;
};

struct StoredSession {
    int session = 0;
    int phase = 0; // 0 pre, 1 post bronchodilator
    std::vector<StoredManeuver> maneuvers; // in the order they were blown
    SessionAssessment assessment;
    // What the session was measured against, as its first row keeps it:
    // the reference set (UserInfo.Standard then, 0..4) and its version, BTPS
    // applied (1) or not (0). -1 and empty: not stored (rows from before).
    int standard = -1;
    QString setVersion;
    int btps = -1;
    // The bronchodilator given and the referring physician (empty: not given).
    QString drug, dose, referrer;
    QDateTime doseTime;
};

// Every FVC session of the day, oldest first. Rows written before sessions
// existed count as sessions of one manoeuvre, phase pre; rows whose file cannot
// be read are left out. `ageYears` chooses the repeatability bands. Each
// session carries its stored reference set, BTPS and bronchodilator details.
std::vector<StoredSession> LoadDaySessions(Database& db, int patientId, const QString& day,
                                           double ageYears);
