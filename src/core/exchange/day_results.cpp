#include "core/exchange/day_results.h"

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

void addValue(const ExchangeParameter& p, const ManeuverResult& record,
              const ManeuverResult& predicted, const QString& testTime, DayResults& out)
{
    ParameterResult r;
    r.parameter = &p;
    r.measured = RoundedValue(record.*p.field);
    r.testTime = testTime;
    const double pred = RoundedValue(predicted.*p.field);
    if (pred > 0) {
        r.predicted = pred;
        r.percentPredicted = std::round(r.measured * 100.0 / pred);
    }
    out.values.push_back(r);
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
    // The values of the results page: the FVC box takes the largest FVC, FEV1
    // and their ratio from across the day, the rest from the best test.
    const FvcBest fvc = ComputeFvcBest(RecordsOf(data.fvc));
    const ManeuverList vcRecords = RecordsOf(data.vc);
    const ManeuverList mvvRecords = RecordsOf(data.mvv);
    const int vcIndex = BestVcIndex(vcRecords);
    const int mvvIndex = BestMvvIndex(mvvRecords);
    for (const ExchangeParameter& p : ExchangeParameters()) {
        if (p.testType == kTestFvc && fvc.valid)
            addValue(p, fvc.record, data.predicted, timeOf(data.fvc, fvc.bestIndex), r);
        else if (p.testType == kTestVc && vcIndex >= 0)
            addValue(p, vcRecords[vcIndex], data.predicted, timeOf(data.vc, vcIndex), r);
        else if (p.testType == kTestMvv && mvvIndex >= 0)
            addValue(p, mvvRecords[mvvIndex], data.predicted, timeOf(data.mvv, mvvIndex), r);
    }
    out = r;
    return true;
}
