#include "core/report/day_tests.h"

#include "core/app/app_paths.h"
#include "core/records/case_store.h"

namespace {

// Empty (no file) for a row name that is not <digits>.dt or a folder leading
// out of the case store: a row never makes the report read elsewhere.
QString testPath(int patientId, const QString& dataName)
{
    const QString folder = AppPaths::PatientCaseFolder(patientId);
    if (!IsTestFileName(dataName) || !AppPaths::IsWithinCaseRoot(folder))
        return QString();
    return folder + '/' + dataName;
}

} // namespace

DayTestList LoadDayTestFiles(Database& db, int patientId, const QString& day, int testType)
{
    DayTestList tests;
    for (const CaseTest& row : LoadDayTests(db, patientId, day, testType)) {
        if (!IsTestFileName(row.DataName))
            continue;
        DayTest test;
        test.dataName = row.DataName;
        if (!ReadTestFile(testPath(patientId, row.DataName), test.file) ||
            test.file.header.testType != testType)
            continue;
        tests.push_back(std::move(test));
    }
    return tests;
}

DayTestList LoadTestHeadsOfKind(Database& db, int patientId, int testType)
{
    DayTestList tests;
    for (const CaseRow& row : TestsOfKind(db, patientId, testType)) {
        if (!IsTestFileName(row.DataName))
            continue;
        DayTest test;
        test.dataName = row.DataName;
        if (!ReadTestHead(testPath(patientId, row.DataName), test.file.header, test.file.record))
            continue;
        tests.push_back(std::move(test));
    }
    return tests;
}
