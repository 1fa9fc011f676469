#include "core/report/day_tests.h"

#include "core/app/app_paths.h"
#include "core/records/case_store.h"

namespace {

QString testPath(int patientId, const QString& dataName)
{
    return AppPaths::PatientCaseFolder(patientId) + '/' + dataName;
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
