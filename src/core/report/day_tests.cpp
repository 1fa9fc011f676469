#include "core/report/day_tests.h"

#include "core/records/case_file_store.h"
#include "core/records/case_store.h"
#include "core/records/database.h"

namespace {
void setBasis(DayTest& test, const TestBasis& basis)
{
    test.standard = basis.standard;
    test.setVersion = basis.setVersion;
    test.btps = basis.btps;
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
        QByteArray bytes;
        if (!db.Files().Read(patientId, row.DataName, bytes) ||
            !ParseTestFile(bytes, test.file) || test.file.header.testType != testType)
            continue;
        setBasis(test, StoredTestBasis(db, patientId, row.DataName));
        tests.push_back(std::move(test));
    }
    return tests;
}
