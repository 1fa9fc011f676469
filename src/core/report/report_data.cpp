#include "core/report/report_data.h"

#include "core/app/app_paths.h"
#include "core/records/nation_groups.h"
#include "core/records/predicted_values.h"

#include <QDate>

bool LoadReportData(Database& db, int patientId, const QString& day, ReportData& data)
{
    data = ReportData();
    if (day.size() != 10 || !QDate::fromString(day, "yyyy-MM-dd").isValid())
        return false;
    if (!LoadPatient(db, patientId, data.patient))
        return false;
    data.day = day;
    data.nationName = NationGroupName(db, data.patient.Nation);
    ComputePredictedValues(db, data.predicted, data.patient);
    data.fvc = LoadDayTestFiles(db, patientId, day, kTestFvc);
    data.vc = LoadDayTestFiles(db, patientId, day, kTestVc);
    data.mvv = LoadDayTestFiles(db, patientId, day, kTestMvv);
    LoadDiagnosis(db, patientId, day, data.diagnosis);
    return true;
}

int ReportPageCount(bool hasFvc, bool hasVc, bool hasMvv)
{
    if (hasFvc && hasVc)
        return 3;
    if (hasMvv && !hasFvc && !hasVc)
        return 1;
    return 2;
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
    if (page == 1) {
        blocks = {B::Title, B::Header, B::Patient};
        if (hasFvc) {
            blocks.push_back(B::FvcTables);
        } else if (hasVc) {
            blocks.push_back(B::VcTable);
            blocks.push_back(B::VcCurve);
        } else {
            mvv();
            blocks.push_back(B::Diagnosis);
        }
    } else if (page == 2) {
        if (hasFvc) {
            blocks.push_back(B::FvcCurves);
            if (hasVc) {
                blocks.push_back(B::VcTable);
                return blocks;
            }
        }
        mvv();
        blocks.push_back(B::Diagnosis);
    } else {
        blocks.push_back(B::VcCurve);
        mvv();
        blocks.push_back(B::Diagnosis);
    }
    return blocks;
}
