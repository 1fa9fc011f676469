#include "core/exchange/day_results.h"

#include "core/records/schema_upgrade.h"
#include "core/report/day_session_values.h"
#include "core/report/report_data.h"
#include "core/report/result_tables.h"

#include <cmath>
#include <cstring>

namespace {

QString headerText(const char* field, std::size_t size)
{
    return QString::fromLatin1(field, int(strnlen(field, size))).trimmed();
}

void noteTest(const DayTestList& tests, DayResults& out)
{
    for (const DayTest& t : tests) {
        const QString time = headerText(t.file.header.testTime, sizeof t.file.header.testTime);
        if (out.firstTestTime.isEmpty() || time < out.firstTestTime)
            out.firstTestTime = time;
        if (time > out.lastTestTime)
            out.lastTestTime = time;
        const QString device = headerText(t.file.header.deviceId, sizeof t.file.header.deviceId);
        if (!device.isEmpty())
            out.deviceId = device;
    }
}

// GLI takes FEV1/FVC as a fraction; the record, the program's screens and the
// exchange files keep it in percent.
double recordScale(const ExchangeParameter& p)
{
    return p.field == &ManeuverResult::FEV1_FVC ? 100.0 : 1.0;
}

// `measured` in the record's unit. A GLI reference gives predicted, LLN, z-score
// and % predicted; the older sets give predicted and % predicted only.
void addValue(const ExchangeParameter& p, SessionPhase phase, double measured, const GliPrediction& gli,
              const ManeuverResult& predicted, const QString& testTime, DayResults& out)
{
    ParameterResult r;
    r.parameter = &p;
    r.phase = phase;
    r.measured = RoundedValue(measured);
    r.testTime = testTime;
    if (gli.available) {
        const double scale = recordScale(p);
        r.predicted = RoundedValue(gli.M * scale);
        r.lln = RoundedValue(gli.lln * scale);
        r.zScore = RoundedValue(gli.zScore(measured / scale));
        r.percentPredicted = std::round(gli.percentPredicted(measured / scale));
    } else if (const double pred = RoundedValue(predicted.*p.field); pred > 0) {
        r.predicted = pred;
        r.percentPredicted = std::round(r.measured * 100.0 / pred);
    }
    out.values.push_back(r);
}

SessionPhase phaseOf(int phase, bool dayHasPost)
{
    if (!dayHasPost)
        return SessionPhase::Unspecified; // no bronchodilator that day: the plain codes
    return phase == kPhasePost ? SessionPhase::Post : SessionPhase::Pre;
}

} // namespace

QString ReferenceSetName(int standard)
{
    switch (standard) {
    case 1:
        return "Knudson";
    case 2:
        return "USA";
    case 3:
        return "GLI-2012";
    case 4:
        return "GLI Global 2022";
    default:
        return "ERS";
    }
}

double RoundedValue(double value)
{
    return std::round(value * 100.0) / 100.0;
}

bool CollectDayResults(Database& db, int patientId, const QString& day, DayResults& out,
                       QString* error)
{
    ReportData data;
    if (!LoadReportData(db, patientId, day, data)) {
        if (error)
            *error = QString("no patient with ID %1, or the day is not YYYY-MM-DD: %2").arg(patientId).arg(day);
        return false;
    }
    if (!data.HasTests()) {
        if (error)
            *error = "no tests on " + day;
        return false;
    }
    DayResults r;
    r.patient = data.patient;
    r.day = day;
    r.referenceSet = ReferenceSetName(data.patient.Standard);
    r.diagnosis = data.diagnosis;
    noteTest(data.fvc, r);
    noteTest(data.vc, r);
    noteTest(data.mvv, r);

    auto timeOf = [](const DayTestList& tests, int index) {
        return index < 0 ? QString()
                         : headerText(tests[index].file.header.testTime,
                                      sizeof tests[index].file.header.testTime);
    };
    // The FVC values are those `tavctl session` reports for each phase, with
    // their GLI references; VC and MVV come from the day's best test.
    DaySessionReport sessions;
    LoadDaySessionReport(db, patientId, QDate::fromString(day, "yyyy-MM-dd"), sessions);
    const bool dayHasPost = sessions.HasPost();
    const ManeuverList vcRecords = RecordsOf(data.vc);
    const ManeuverList mvvRecords = RecordsOf(data.mvv);
    const int vcIndex = BestVcIndex(vcRecords);
    const int mvvIndex = BestMvvIndex(mvvRecords);
    for (const ExchangeParameter& p : ExchangeParameters()) {
        if (p.testType == kTestFvc) {
            for (const PhaseValues& phase : sessions.phases) {
                if (const ReferencedValue* v = phase.reported.Find(p.name)) {
                    addValue(p, phaseOf(phase.phase, dayHasPost), v->value * recordScale(p), v->reference,
                             data.predicted, v->testTime, r);
                    r.values.back().usableOnly = v->usableOnly;
                }
            }
        } else if (p.testType == kTestVc && vcIndex >= 0) {
            addValue(p, SessionPhase::Unspecified, vcRecords[vcIndex].*p.field, GliPrediction(), data.predicted,
                     timeOf(data.vc, vcIndex), r);
        } else if (p.testType == kTestMvv && mvvIndex >= 0) {
            addValue(p, SessionPhase::Unspecified, mvvRecords[mvvIndex].*p.field, GliPrediction(), data.predicted,
                     timeOf(data.mvv, mvvIndex), r);
        }
    }
    out = r;
    return true;
}
