#include "core/report/report_data.h"

#include "core/app/app_paths.h"
#include "core/records/case_file_store.h"
#include "core/records/database.h"
#include "core/records/test_operator.h"

#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {
// Times of the day's tests: the first alone, or the first and the last.
QString testTimesOf(const ReportData& data)
{
    QStringList times;
    for (const DayTestList* list : {&data.fvc(), &data.vc(), &data.mvv()})
        for (const DayTest& test : *list)
            times << QString::fromLatin1(test.file.header.testTime).mid(11, 5);
    times.removeAll(QString());
    if (times.isEmpty())
        return QString();
    std::sort(times.begin(), times.end());
    return times.front() == times.back() ? times.front() : times.front() + " - " + times.back();
}
} // namespace

bool LoadReportData(Database& db, int patientId, const QString& day, ReportData& data)
{
    data = ReportData();
    const QDate date = QDate::fromString(day, "yyyy-MM-dd");
    if (day.size() != 10 || !date.isValid())
        return false;
    if (!LoadDayResult(db, patientId, date, data.result))
        return false;
    data.day = day;
    data.patient = data.result.patient;
    data.nationName = data.result.nationName;
    LoadDiagnosis(db, patientId, day, data.diagnosis);
    // The file keeps no date of its own: it was made when it was last written.
    if (!data.diagnosis.Physician.isEmpty() || !data.diagnosis.Result.isEmpty())
        data.diagnosis.Date =
            db.Files().Written(patientId, QFileInfo(DiagnosisFile(QString(), day)).fileName());
    data.testTimes = testTimesOf(data);
    QStringList names;
    for (const DayTestList* list : {&data.fvc(), &data.vc(), &data.mvv()})
        for (const DayTest& test : *list)
            names << test.dataName;
    data.operators = LoadTestOperators(db, patientId, names);
    data.signatures = LoadDaySignatures(db, patientId, day);
    for (const DayTestList* list : {&data.fvc(), &data.vc(), &data.mvv()})
        if (!list->empty() && data.temperature == 0)
            data.temperature = list->front().file.header.temperature;
    return true;
}

QString ReportPdfFileName(const ReportData& data)
{
    QStringList parts;
    for (const QString& part : {data.patient.PatientNumber, data.patient.Name, data.day})
        if (!part.trimmed().isEmpty())
            parts << part.trimmed();
    QString name = parts.join('_');
    static const QRegularExpression forbidden(R"([/\\:*?"<>|\x00-\x1f])");
    name.replace(forbidden, "_");
    if (name.isEmpty() || name.startsWith('.'))
        name.prepend("report");
    return name + ".pdf";
}

namespace {
// The pages of the tables, curves and diagnosis.
int resultPages(bool hasFvc, bool hasVc, bool hasMvv)
{
    if (hasFvc && hasVc)
        return 3;
    if (hasMvv && !hasFvc && !hasVc)
        return 1;
    return 2;
}
} // namespace

int ReportPageCount(bool hasFvc, bool hasVc, bool hasMvv)
{
    return resultPages(hasFvc, hasVc, hasMvv) + (hasFvc ? 1 : 0);
}

std::vector<ReportBlock> ReportPageBlocks(bool hasFvc, bool hasVc, bool hasMvv, int page)
{
    using B = ReportBlock;
    std::vector<B> blocks;
    auto mvv = [&] {
        if (hasMvv) {
            blocks.push_back(B::MvvTable);
            blocks.push_back(B::MvvCurve);
        }
    };
    if (page < 1 || page > ReportPageCount(hasFvc, hasVc, hasMvv))
        return blocks;
    if (page > resultPages(hasFvc, hasVc, hasMvv))
        return {B::Clinical};
    if (page == 1) {
        blocks = {B::Title, B::Header, B::Patient};
        if (hasFvc) {
            blocks.push_back(B::FvcTables);
            blocks.push_back(B::Signature);
        } else if (hasVc) {
            blocks.push_back(B::VcTable);
            blocks.push_back(B::VcCurve);
        } else {
            mvv();
            blocks.push_back(B::Diagnosis);
        }
    } else if (page == 2) {
        if (hasFvc) {
            blocks.push_back(B::FvcLoopTable);
            blocks.push_back(B::FvcCurves);
            if (hasVc)
                return blocks; // the VC table stays with its curve on page 3
        }
        mvv();
        blocks.push_back(B::Diagnosis);
    } else {
        blocks.push_back(B::VcTable);
        blocks.push_back(B::VcCurve);
        mvv();
        blocks.push_back(B::Diagnosis);
    }
    return blocks;
}
