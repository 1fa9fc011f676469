#include "core/exchange/day_results.h"

#include "core/records/schema_upgrade.h"
#include "core/report/report_data.h"

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

// `measured` in the record's unit, with the reference the day's set gives it:
// a GLI set gives predicted, LLN, z-score and % predicted; the older sets
// predicted and % predicted only.
void addValue(const ExchangeParameter& p, SessionPhase phase, double measured, bool usableOnly, const DayResult& day,
              const QString& testTime, DayResults& out)
{
    // A value the test did not give (0) is missing, not a measurement of nothing.
    if (!(measured > 0))
        return;
    ParameterResult r;
    r.parameter = &p;
    r.phase = phase;
    r.measured = RoundedValue(measured);
    r.testTime = testTime;
    r.usableOnly = usableOnly;
    const ValueReference ref = day.ReferenceOf(p.name, measured);
    if (ref.predicted)
        r.predicted = RoundedValue(*ref.predicted);
    if (ref.lln)
        r.lln = RoundedValue(*ref.lln);
    if (ref.uln)
        r.uln = RoundedValue(*ref.uln);
    if (ref.z)
        r.zScore = RoundedValue(*ref.z);
    if (ref.percentPredicted)
        r.percentPredicted = std::round(*ref.percentPredicted);
    out.values.push_back(r);
}

SessionPhase phaseOf(int phase, bool dayHasPost)
{
    if (!dayHasPost)
        return SessionPhase::Unspecified; // no bronchodilator that day: the plain codes
    return phase == kPhasePost ? SessionPhase::Post : SessionPhase::Pre;
}

QString timeOf(const DayTestList& tests, int index)
{
    return index < 0 || index >= int(tests.size())
               ? QString()
               : headerText(tests[std::size_t(index)].file.header.testTime,
                            sizeof tests[std::size_t(index)].file.header.testTime);
}

} // namespace

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
    return CollectDayResults(data, out, error);
}

bool CollectDayResults(const ReportData& data, DayResults& out, QString* error)
{
    const QString& day = data.day;
    if (!data.HasTests()) {
        if (error)
            *error = "no tests on " + day;
        return false;
    }
    const DayResult& result = data.result;
    DayResults r;
    r.patient = data.patient;
    r.day = day;
    r.referenceSet = result.setName;
    r.diagnosis = data.diagnosis;
    noteTest(result.fvc, r);
    noteTest(result.vc, r);
    noteTest(result.mvv, r);

    // Every value is the one the day-result model reports: FVC per phase (a
    // withheld phase gives none), VC and MVV from the day's best test.
    const bool dayHasPost = result.HasPost();
    for (const ExchangeParameter& p : ExchangeParameters()) {
        if (p.testType == kTestFvc) {
            for (const PhaseValues& phase : result.phases) {
                if (phase.withheld)
                    continue;
                const ReferencedValue* v = phase.reported.Find(p.name);
                const bool usableOnly = v ? v->usableOnly : phase.usableOnly;
                const QString time = v ? v->testTime : timeOf(result.fvc, phase.flowsTest);
                addValue(p, phaseOf(phase.phase, dayHasPost), phase.record.*p.field, usableOnly, result, time, r);
            }
        } else if (p.testType == kTestVc && result.vcResult.bestTest >= 0) {
            addValue(p, SessionPhase::Unspecified, result.vcResult.record.*p.field, false, result,
                     timeOf(result.vc, result.vcResult.bestTest), r);
        } else if (p.testType == kTestMvv && result.mvvResult.bestTest >= 0) {
            addValue(p, SessionPhase::Unspecified, result.mvvResult.record.*p.field, false, result,
                     timeOf(result.mvv, result.mvvResult.bestTest), r);
        }
    }
    out = r;
    return true;
}

QString PhaseKey(SessionPhase phase)
{
    return phase == SessionPhase::Pre ? "pre" : phase == SessionPhase::Post ? "post" : QString();
}

QString PhaseWords(SessionPhase phase)
{
    return phase == SessionPhase::Pre    ? " before bronchodilator"
           : phase == SessionPhase::Post ? " after bronchodilator"
                                         : QString();
}

const LoincCode& LoincForPhase(const ExchangeParameter& p, SessionPhase phase)
{
    return phase == SessionPhase::Pre && p.loincPre.Exists()     ? p.loincPre
           : phase == SessionPhase::Post && p.loincPost.Exists() ? p.loincPost
                                                                 : p.loinc;
}
