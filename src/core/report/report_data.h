#pragma once
// Everything the printed report of one patient's day shows, gathered once
// before painting (the painter itself touches no database and no file).
#include "core/records/day_signatures.h"
#include "core/records/diagnosis.h"
#include "core/records/patient_record.h"
#include "core/report/day_result.h"

#include <QString>
#include <QStringList>

#include <vector>

class Database;

struct ReportData {
    DayResult result; // the day's results: every figure the report prints
    PatientRecord patient; // as on the day (age on that day)
    QString nationName;
    QString day; // "YYYY-MM-DD"
    DiagnosisRecord diagnosis; // Date: when the diagnosis file was last written
    QString testTimes;         // "HH:MM" of the day's first test, "HH:MM - HH:MM" for several
    int temperature = 0;       // degrees C the device's BTPS correction used (first test)
    bool singleLoop = false;   // draw only the best test's curve (chosen when printing)
    QStringList operators;     // who ran the day's tests: "anna (lab-2)"; empty: not kept
    std::vector<DaySignature> signatures; // the day's sign-off versions, first first

    const DayTestList& fvc() const { return result.fvc; }
    const DayTestList& vc() const { return result.vc; }
    const DayTestList& mvv() const { return result.mvv; }
    bool HasFvc() const { return !result.fvc.empty(); }
    bool HasVc() const { return !result.vc.empty(); }
    bool HasMvv() const { return !result.mvv.empty(); }
    bool HasTests() const { return result.HasTests(); }
};

// Loads the day's results (LoadDayResult) and the day's diagnosis. False when the patient does not exist or the day is not
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
    FvcTables,  // the day's FVC results per phase against the set, with z-bars, grades, quality, interpretation
    Signature,  // operator, referring physician, bronchodilator, the physician's signature line
    FvcLoopTable, // the other values of each phase's best blow
    FvcCurves,
    VcTable,
    VcCurve,
    MvvTable,
    MvvCurve,
    Diagnosis,
    Clinical // each manoeuvre of the day's FVC sessions and its acceptability
};

// The blocks of page `page` (1 first); a type without tests contributes nothing.
std::vector<ReportBlock> ReportPageBlocks(bool hasFvc, bool hasVc, bool hasMvv, int page);
