#pragma once
// The values of one patient's test day as they leave the program: for every
// exchanged parameter the value the day reports (FVC values once per phase,
// as `tavctl session` reports them), with its predicted value, lower limit of
// normal, z-score and percent of predicted where the patient's set gives them.
#include "core/exchange/exchange_parameters.h"
#include "core/records/diagnosis.h"
#include "core/records/patient_record.h"

#include <QString>

#include <optional>
#include <vector>

class Database;

enum class SessionPhase { Unspecified, Pre, Post };

// "pre", "post", or empty when the day had no bronchodilator phases.
QString PhaseKey(SessionPhase phase);
// What follows a value's name: " before bronchodilator", " after bronchodilator" or nothing.
QString PhaseWords(SessionPhase phase);
// The LOINC code of `p` for a value of `phase`: the phase's own where LOINC has one.
const LoincCode& LoincForPhase(const ExchangeParameter& p, SessionPhase phase);

struct ParameterResult {
    const ExchangeParameter* parameter = nullptr;
    SessionPhase phase = SessionPhase::Unspecified;
    double measured = 0;
    std::optional<double> predicted;
    std::optional<double> lln;
    std::optional<double> uln; // upper limit of normal
    std::optional<double> zScore;
    std::optional<double> percentPredicted;
    QString testTime; // "yyyy-MM-dd HH:mm:ss" of the test the value comes from
    bool usableOnly = false; // no acceptable manoeuvre gave it: the largest usable one, marked so

    // Below the lower limit of normal; only meaningful when lln is known.
    bool BelowLln() const { return lln && measured < *lln; }
};

struct DayResults {
    PatientRecord patient;
    QString day;          // "YYYY-MM-DD"
    QString referenceSet; // the day's set: "ERS", "Knudson", "USA", "GLI-2012", "GLI Global 2022"
    QString firstTestTime;
    QString lastTestTime;
    QString deviceId; // as the device reported it in the test files ("" when none)
    DiagnosisRecord diagnosis;
    std::vector<ParameterResult> values; // in ExchangeParameters() order (pre before post), measured ones only
};

// How a value that no acceptable manoeuvre gave is marked in the exchange files.
inline constexpr char kUsableOnlyNote[] = "usable, not acceptable (no acceptable manoeuvre, ATS/ERS 2019)";

// Two decimals, as the program shows and stores figures.
double RoundedValue(double value);

// Gathers the day. False (with a message) when the patient does not exist, the
// day is not "YYYY-MM-DD" or the day has no tests.
bool CollectDayResults(Database& db, int patientId, const QString& day, DayResults& out,
                       QString* error = nullptr);

struct ReportData;
// The same from a day already loaded (LoadReportData); false when it has no tests.
bool CollectDayResults(const ReportData& data, DayResults& out, QString* error = nullptr);
