#pragma once
// Everything the printed report of one patient's day shows, gathered once
// before painting (the painter itself touches no database and no file).
#include "core/records/diagnosis.h"
#include "core/records/patient_record.h"
#include "core/report/day_session_values.h"
#include "core/report/day_tests.h"

#include <QString>

#include <vector>

class Database;

struct ReportData {
    PatientRecord patient;
    QString nationName;
    QString day; // "YYYY-MM-DD"
    ManeuverResult predicted;
    bool predictedFound = false; // false: no equation for the patient, `predicted` is cleared
    DayTestList fvc;
    DayTestList vc;
    DayTestList mvv;
    DiagnosisRecord diagnosis; // Date: when the diagnosis file was last written
    QString equations;         // the reference equations behind the predicted values
    QString testTimes;         // "HH:MM" of the day's first test, "HH:MM - HH:MM" for several
    int temperature = 0;       // degrees C the device's BTPS correction used (first test)
    bool singleLoop = false;   // draw only the best test's curve (chosen when printing)
    DaySessionReport sessions; // FVC sessions graded and judged against the GLI set

    bool HasFvc() const { return !fvc.empty(); }
    bool HasVc() const { return !vc.empty(); }
    bool HasMvv() const { return !mvv.empty(); }
    bool HasTests() const { return HasFvc() || HasVc() || HasMvv(); }
};

// Loads the patient, the predicted values, the day's tests of every type and
// the day's diagnosis. False when the patient does not exist or the day is not
// "YYYY-MM-DD".
bool LoadReportData(Database& db, int patientId, const QString& day, ReportData& data);

// "<number>_<name>_<day>.pdf", with characters no file name may hold replaced.
QString ReportPdfFileName(const ReportData& data);

// 3 pages when FVC and VC tests exist, 1 when only MVV tests exist, otherwise 2;
// a day with FVC tests has one more, the last: its sessions graded and judged.
int ReportPageCount(bool hasFvc, bool hasVc, bool hasMvv);
inline int ReportPageCount(const ReportData& data)
{
    return ReportPageCount(data.HasFvc(), data.HasVc(), data.HasMvv());
}

// The blocks of the report in the order the page plan puts them on a page.
enum class ReportBlock {
    Title,
    Header,
    Patient,
    FvcTables,
    FvcCurves,
    VcTable,
    VcCurve,
    MvvTable,
    MvvCurve,
    Diagnosis,
    Clinical // the day's FVC sessions: reference values, grades, each manoeuvre
};

// The blocks of page `page` (1 first); a type without tests contributes nothing.
std::vector<ReportBlock> ReportPageBlocks(bool hasFvc, bool hasVc, bool hasMvv, int page);
