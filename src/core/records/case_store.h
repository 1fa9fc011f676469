#pragma once
#include "core/measure/test_file_reader.h"
#include "core/measure/test_file_writer.h"
#include "core/measure/test_record.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class Database;

// A stored test as its file gives it.
struct CaseTest {
    QString DataName;
    TestFileHeader Header;
    ManeuverResult Record;
};
using CaseTestList = std::vector<CaseTest>;

// A CaseInfo row: the key figures of one stored test.
struct CaseRow {
    int ID = 0;
    QString DataName;
    QString TestTime; // "yyyy-MM-dd HH:mm:ss"
    float FVC = 0, PEF = 0, FEV1 = 0, MVV = 0, VC = 0;
    int Duration = 0;
    int TestType = 0;
    TestBasis basis; // the reference set and BTPS the test was measured with
};
using CaseRowList = std::vector<CaseRow>;

// Year, month and day of a "YYYY-MM-DD" text (characters 1-4, 6-7, 9-10); false
// when any part is not a number.
bool SplitDay(const QString& day, int& year, int& month, int& dayOfMonth);

// The longest set version a row keeps.
inline constexpr int kSetVersionLength = 20;

// Inserts the row of a test whose file has just been written (figures to two
// decimals), in its place of a session (SessionPlace, test_store.h), with the
// reference set and BTPS it was measured with (NULL where not known) and the
// coaching cues of its blow (JSON; NULL when none were given).
bool RegisterTest(Database& db, int id, const QString& dataName, const QString& testTime,
                  const ManeuverResult& record, int testType, const SessionPlace& place = {},
                  const QString& cues = QString());

// The reference set and BTPS kept with the row of patient `id`'s test
// `dataName`; -1 and empty where the row holds none (or there is no such row).
TestBasis StoredTestBasis(Database& db, int id, const QString& dataName);

// Where patient `id`'s new tests go: files of `caseFolder` with their CaseInfo
// rows (CaseInfoRowTable), or, when the database keeps the bytes, bytes and
// rows in the database (TableTestStore); a session's tests in one transaction.
std::unique_ptr<TestStore> PatientTestStore(Database& db, int id, const QString& caseFolder);

// The day's tests of one kind, oldest first, each read from Case/<ID>/<DataName>;
// rows whose file cannot be read are skipped. Nothing for id < 1 or an empty day.
CaseTestList LoadDayTests(Database& db, int id, const QString& day, int kind);

// Every test time of the patient, newest day first.
QStringList TestTimes(Database& db, int id);
// The patient's distinct test days "YYYY-MM-DD", newest first.
QStringList TestDays(Database& db, int id);

// The patient's rows of one kind, newest first (trend curves).
CaseRowList TestsOfKind(Database& db, int id, int kind);
// The day's rows of one kind, oldest first (the results page's list).
CaseRowList DayTestsOfKind(Database& db, int id, int kind, const QString& day);

// Makes the patient's case folder exist; for a day, brings its rows in line with
// the files: rows of missing files are deleted, rows that differ from their file
// are rewritten from it. Files without a row are left alone. Returns the number
// of rows changed, or -1 when the folder cannot be made or the changes fail.
int ReconcileDay(Database& db, int id, const QString& day);

// Deletes the row, then the file Case/<ID>/<DataName>.
bool DeleteTest(Database& db, int id, const QString& dataName);

// Deletes the files of every test of the day (of every kind), then the day's rows.
bool DeleteDay(Database& db, int id, const QString& day);

// Deletes the patient's row and test rows in one transaction, then the case folder.
bool DeletePatient(Database& db, int id);

// Removes `folder` and everything below it without following links. Refuses paths
// shorter than four characters; after the first failure nothing more is deleted
// and the folder stays. `removeFile` deletes one file or link (QFile::remove when empty).
using FileRemover = std::function<bool(const QString& path)>;
bool RemoveFolderTree(const QString& folder, const FileRemover& removeFile = {});
