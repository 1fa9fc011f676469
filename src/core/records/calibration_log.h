#pragma once
// The log of the flow sensor's syringe checks and calibrations (table
// CalibrationLog), and how a test stands against the last check before it.
#include "core/measure/syringe_check.h"

#include <QDateTime>
#include <QJsonArray>
#include <QString>

#include <optional>
#include <vector>

class Database;

struct CalibrationLogEntry {
    int seq = 0;             // order of logging, from 1
    QDateTime at;            // local time, to the second
    QString operatorName;    // the signed-in user; empty without accounts
    QString device;          // the device's identifier, or "virtual"
    double syringeVolume = 3; // L
    bool calibration = false; // a calibration; else a check
    std::vector<SyringeStroke> strokes; // a check's kept strokes
    bool passed = false;
    int factorBefore = 0, factorAfter = 0; // a calibration: the device's raw expiratory coefficient; 0 not known
};

// A check's strokes as the log keeps them and tavctl prints them:
// [{"flow": "low"|"mid"|"high", "volume": L, "meanFlow": L/s, "error": percent}].
QJsonArray CalibrationStrokesJson(const std::vector<SyringeStroke>& strokes);

// Appends `entry` and sets its seq; false when it could not be written.
bool AppendCalibrationLog(Database& db, CalibrationLogEntry& entry);
// Newest first; at most `limit` entries when it is above 0.
std::vector<CalibrationLogEntry> LoadCalibrationLog(Database& db, int limit = 0);
// The last check (not a calibration) logged at or before `when`.
std::optional<CalibrationLogEntry> LastCheckBefore(Database& db, const QDateTime& when);

// How a test measured at `testTime` stands against the last check before it.
// A test with no check before it is not flagged: it was measured before the
// clinic logged checks (the reminder asks for one from then on).
enum class CheckFlag { None = 0, Overdue = 1, Failed = 2 };
CheckFlag CheckFlagFor(const std::optional<CalibrationLogEntry>& lastCheck,
                       const QDateTime& testTime, int hours);
// Whether a new check is due at `now`: none logged, the last one failed or
// older than `hours`.
bool CheckDue(Database& db, const QDateTime& now, int hours);
