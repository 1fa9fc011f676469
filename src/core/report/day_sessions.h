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
    int standard = -1; // the reference set the session was measured against; -1: not stored
    QString setVersion;
    int btps = -1; // 1: at BTPS, 0: not; -1: not stored
    QString drug, dose, referrer; // the bronchodilator given and the referring physician
    QDateTime doseTime;
};

// Every FVC session of the day, oldest first. Rows written before sessions
// existed count as sessions of one manoeuvre, phase pre; rows whose file cannot
// be read are left out. `ageYears` chooses the repeatability bands.
std::vector<StoredSession> LoadDaySessions(Database& db, int patientId, const QString& day,
                                           double ageYears);
