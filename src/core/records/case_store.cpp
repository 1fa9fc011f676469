#include "core/records/case_store.h"

#include "core/records/case_file_store.h"
#include "core/records/case_info_row_table.h"
#include "core/records/schema_upgrade.h"
#include "core/records/table_test_store.h"

#include "core/records/database.h"
#include "core/records/recordset.h"

#include "core/app/app_paths.h"
#include "core/clinical/gli_patient.h"
#include "core/measure/folder_test_store.h"
#include "core/measure/record_codec.h"
#include "core/measure/test_file_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The day filter every per-day query shares; its three values are bound.
const char* const kDayFilter =
    "YEAR(TestTime) = ? AND MONTH(TestTime) = ? and \t\tDAY(TestTime) = ?";

// A file of the patient's folder named by a row; empty when the name is not <digits>.dt,
// so a row can never reach outside Case/<ID>/.
// A folder that is a link leading out of the case store counts as no folder.
QString testFilePath(int id, const QString& dataName)
{
    if (!IsTestFileName(dataName))
        return QString();
    const QString folder = AppPaths::PatientCaseFolder(id);
    if (QFileInfo::exists(folder) && !AppPaths::IsWithinCaseRoot(folder))
        return QString();
    return folder + '/' + dataName;
}

bool readTest(Database& db, int id, const QString& dataName, CaseTest& test)
{
    QByteArray bytes;
    if (!IsTestFileName(dataName) || !db.Files().Read(id, dataName, bytes))
        return false;
    test.DataName = dataName;
    return ParseTestHead(bytes, test.Header, test.Record);
}

QStringList dataNames(Recordset& rs)
{
    QStringList names;
    const int n = rs.GetRecordCount();
    if (n > 0)
        rs.MoveFirst();
    for (int i = 0; i < n; ++i) {
        QString name;
        rs.GetFieldValue("DataName", name);
        names << name;
        rs.MoveNext();
    }
    return names;
}

CaseTestList readTests(Database& db, int id, const QStringList& names)
{
    CaseTestList tests;
    for (const QString& name : names) {
        CaseTest test;
        if (readTest(db, id, name, test))
            tests.push_back(test);
    }
    return tests;
}

// An integer column that may hold NULL (rows from before it existed): -1 then.
int storedNumber(Recordset& rs, const char* column)
{
    QString text;
    if (!rs.GetFieldValue(column, text) || text.trimmed().isEmpty())
        return -1;
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : -1;
}

// The reference set and BTPS a row keeps; out-of-range numbers read as not stored.
TestBasis basisOf(Recordset& rs)
{
    TestBasis basis;
    const int standard = storedNumber(rs, "RefStandard");
    basis.standard = standard >= 0 && standard < kStandardCount ? standard : -1;
    QString version;
    if (rs.GetFieldValue("RefVersion", version))
        basis.setVersion = version.left(kSetVersionLength);
    const int btps = storedNumber(rs, "Btps");
    basis.btps = btps == 0 || btps == 1 ? btps : -1;
    return basis;
}

CaseRowList readRows(Recordset& rs)
{
    CaseRowList rows;
    const int n = rs.GetRecordCount();
    if (n > 0)
        rs.MoveFirst();
    rows.reserve(n);
    for (int i = 0; i < n; ++i) {
        CaseRow row;
        rs.GetFieldValue("ID", row.ID);
        rs.GetFieldValue("DataName", row.DataName);
        rs.GetFieldValue("TestTime", row.TestTime);
        rs.GetFieldValue("FVC", row.FVC);
        rs.GetFieldValue("PEF", row.PEF);
        rs.GetFieldValue("FEV1", row.FEV1);
        rs.GetFieldValue("MVV", row.MVV);
        rs.GetFieldValue("VC", row.VC);
        rs.GetFieldValue("Duration", row.Duration);
        rs.GetFieldValue("TestType", row.TestType);
        row.basis = basisOf(rs);
        rows.push_back(row);
        rs.MoveNext();
    }
    return rows;
}

// A value as it travels through a "%.2f" or "%f" statement text.
double asPrinted(const char* format, float value)
{
    return QString::asprintf(format, static_cast<double>(value)).toDouble();
}

QString printed(float value)
{
    return QString::asprintf("%f", static_cast<double>(value));
}

// Runs the statements together: all of them or, after a failure, none.
bool runInTransaction(Database& db, const std::vector<std::pair<QString, QVariantList>>& statements)
{
    if (statements.empty())
        return true;
    if (!db.BeginTransaction())
        return false;
    for (const auto& [sql, values] : statements) {
        if (!db.Execute(sql, values)) {
            db.Rollback();
            return false;
        }
    }
    if (db.Commit())
        return true;
    db.Rollback();
    return false;
}

} // namespace

bool SplitDay(const QString& day, int& year, int& month, int& dayOfMonth)
{
    if (day.size() < 10)
        return false;
    bool okYear = false, okMonth = false, okDay = false;
    year = day.mid(0, 4).toInt(&okYear);
    month = day.mid(5, 2).toInt(&okMonth);
    dayOfMonth = day.mid(8, 2).toInt(&okDay);
    return okYear && okMonth && okDay;
}

bool RegisterTest(Database& db, int id, const QString& dataName, const QString& testTime,
                  const ManeuverResult& r, int testType, const SessionPlace& place,
                  const QString& cues)
{
    const int session = place.session > 0 ? place.session : TestFileNumber(dataName);
    // What is not known is stored as NULL, as rows from before these columns hold it.
    const TestBasis& basis = place.basis;
    const QVariant standard = basis.standard >= 0 ? QVariant(basis.standard)
                                                  : QVariant(QMetaType::fromType<int>());
    const QVariant version = basis.setVersion.isEmpty()
                                 ? QVariant(QMetaType::fromType<QString>())
                                 : QVariant(basis.setVersion.left(kSetVersionLength));
    const QVariant btps = basis.btps >= 0 ? QVariant(basis.btps != 0 ? 1 : 0)
                                          : QVariant(QMetaType::fromType<int>());
    return db.Execute("insert into CaseInfo(ID, DataName, \t\t\t\t\t\t\tTestTime, FVC, PEF, "
                      "Duration, FEV1, MVV, VC, TestType, Session, Maneuver, Phase, "
                      "RefStandard, RefVersion, Btps, Cues) "
                      "\t\t\t\t\t\t\tvalues(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                      {id, dataName, testTime, asPrinted("%.2f", r.FVC), asPrinted("%.2f", r.PEF),
                       r.Duration, asPrinted("%.2f", r.FEV1), asPrinted("%.2f", r.MVV),
                       asPrinted("%.2f", r.VC), testType, session, place.maneuver, place.phase,
                       standard, version, btps,
                       cues.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(cues)});
}

TestBasis StoredTestBasis(Database& db, int id, const QString& dataName)
{
    Recordset rs(db);
    if (!rs.Open("SELECT RefStandard, RefVersion, Btps FROM CaseInfo WHERE ID = ? and DataName = ?",
                 {id, dataName}) ||
        rs.GetRecordCount() <= 0)
        return {};
    rs.MoveFirst();
    return basisOf(rs);
}

std::unique_ptr<TestStore> PatientTestStore(Database& db, int id, const QString& caseFolder)
{
    if (db.Files().InDatabase())
        return std::make_unique<TableTestStore>(db, id);
    return std::make_unique<FolderTestStore>(caseFolder,
                                             std::make_unique<CaseInfoRowTable>(db, id));
}

CaseTestList LoadDayTests(Database& db, int id, const QString& day, int kind)
{
    int y = 0, m = 0, d = 0;
    if (id < 1 || !SplitDay(day, y, m, d))
        return {};
    Recordset rs(db);
    rs.Open(QString("SELECT * FROM CaseInfo WHERE ID = ? and TestType = ? and %1 order by TestTime")
                .arg(kDayFilter),
            {id, kind, y, m, d});
    return readTests(db, id, dataNames(rs));
}

QStringList TestTimes(Database& db, int id)
{
    Recordset rs(db);
    rs.Open("SELECT TestTime FROM CaseInfo WHERE ID = ? order by YEAR(TestTime) DESC, "
            "MONTH(TestTime) DESC, \t\tDAY(TestTime) DESC",
            {id});
    QStringList times;
    const int n = rs.GetRecordCount();
    if (n > 0)
        rs.MoveFirst();
    for (int i = 0; i < n; ++i) {
        QString time;
        rs.GetFieldValue("TestTime", time);
        times << time;
        rs.MoveNext();
    }
    return times;
}

QStringList TestDays(Database& db, int id)
{
    QStringList days;
    for (const QString& time : TestTimes(db, id)) {
        const QString day = time.left(10);
        if (days.isEmpty() || days.last() != day)
            days << day;
    }
    return days;
}

CaseRowList TestsOfKind(Database& db, int id, int kind)
{
    Recordset rs(db);
    rs.Open("SELECT * FROM CaseInfo WHERE ID = ? and TestType = ? order by TestTime DESC",
            {id, kind});
    return readRows(rs);
}

CaseRowList DayTestsOfKind(Database& db, int id, int kind, const QString& day)
{
    int y = 0, m = 0, d = 0;
    if (!SplitDay(day, y, m, d))
        return {};
    Recordset rs(db);
    rs.Open(QString("SELECT * FROM CaseInfo WHERE ID = ? and TestType = ? and %1 "
                    "order by TestTime ASC")
                .arg(kDayFilter),
            {id, kind, y, m, d});
    return readRows(rs);
}

int ReconcileDay(Database& db, int id, const QString& day)
{
    if (id < 1)
        return 0;
    if (!db.Files().InDatabase()) {
        if (!AppPaths::MakePrivateFolder(AppPaths::PatientCaseFolder(id)))
            return -1;
        // Rows are never dropped because their folder is a link leading elsewhere.
        if (!AppPaths::IsWithinCaseRoot(AppPaths::PatientCaseFolder(id)))
            return -1;
    }
    int y = 0, m = 0, d = 0;
    if (day.isEmpty() || !SplitDay(day, y, m, d))
        return 0;
    std::vector<std::pair<QString, QVariantList>> queue;
    {
        Recordset rs(db);
        rs.Open(QString("SELECT * FROM CaseInfo WHERE ID = ? and %1").arg(kDayFilter),
                {id, y, m, d});
        for (const CaseRow& row : readRows(rs)) {
            // A name that is not <digits>.dt can never name a file of this folder.
            if (!IsTestFileName(row.DataName) || !db.Files().Exists(id, row.DataName)) {
                queue.push_back(
                    {"delete from CaseInfo where ID = ? and DataName = ?", {id, row.DataName}});
                continue;
            }
            TestFileHeader header;
            ManeuverResult record;
            QByteArray bytes;
            if (!db.Files().Read(id, row.DataName, bytes) ||
                !ParseTestHead(bytes, header, record))
                continue; // there but unreadable: neither row nor file is touched
            const QString fileTime =
                QString::fromLatin1(RecordCodec::Text(header.testTime, sizeof header.testTime));
            const bool same = row.TestTime == fileTime && printed(row.FVC) == printed(record.FVC) &&
                              printed(row.PEF) == printed(record.PEF) &&
                              printed(row.FEV1) == printed(record.FEV1) &&
                              row.Duration == record.Duration;
            if (same)
                continue;
            queue.push_back(
                {"update CaseInfo set TestTime = ?, FVC = ?, PEF = ?, FEV1 = ?, \t\t\t\t\t\t"
                 "Duration = ?, VC = ?, MVV = ?, TestType = ? WHERE ID = ? and DataName = ?",
                 {fileTime, asPrinted("%f", record.FVC), asPrinted("%f", record.PEF),
                  asPrinted("%f", record.FEV1), record.Duration, asPrinted("%f", record.VC),
                  asPrinted("%f", record.MVV), header.testType, id, row.DataName}});
        }
    }
    // The queued changes land together or not at all.
    return runInTransaction(db, queue) ? static_cast<int>(queue.size()) : -1;
}

bool DeleteTest(Database& db, int id, const QString& dataName)
{
    if (db.Files().InDatabase()) {
        // Row and bytes go together.
        if (!db.BeginTransaction())
            return false;
        if (!db.Execute("delete from CaseInfo where ID = ? and DataName = ?", {id, dataName}) ||
            !db.Execute("DELETE FROM GradeOverride WHERE ID = ? AND DataName = ?", {id, dataName}) ||
            (IsTestFileName(dataName) && !db.Files().Remove(id, dataName)) || !db.Commit()) {
            db.Rollback();
            return false;
        }
        return true;
    }
    // A review stays with its test: the number may be given to a later one.
    if (!db.Execute("delete from CaseInfo where ID = ? and DataName = ?", {id, dataName}) ||
        !db.Execute("DELETE FROM GradeOverride WHERE ID = ? AND DataName = ?", {id, dataName}))
        return false;
    const QString path = testFilePath(id, dataName);
    return path.isEmpty() || !QFileInfo::exists(path) || QFile::remove(path);
}

bool DeleteDay(Database& db, int id, const QString& day)
{
    int y = 0, m = 0, d = 0;
    if (id < 1 || !SplitDay(day, y, m, d))
        return false;
    // The files of every kind go with the rows; removing FVC files only would orphan the others.
    QStringList names;
    {
        Recordset rs(db);
        rs.Open(QString("SELECT DataName FROM CaseInfo WHERE ID = ? and %1").arg(kDayFilter),
                {id, y, m, d});
        names = dataNames(rs);
    }
    // The day's sessions take their details and relabellings with them: a
    // session number freed here may be given to a later session.
    std::vector<std::pair<QString, QVariantList>> sessionRows;
    {
        Recordset rs(db);
        rs.Open(QString("SELECT DISTINCT Session FROM CaseInfo WHERE ID = ? and %1").arg(kDayFilter),
                {id, y, m, d});
        const int n = rs.GetRecordCount();
        if (n > 0)
            rs.MoveFirst();
        for (int i = 0; i < n; ++i, rs.MoveNext()) {
            int session = 0;
            if (!rs.GetFieldValue("Session", session))
                continue;
            sessionRows.push_back(
                {"DELETE FROM SessionDetail WHERE ID = ? AND Session = ?", {id, session}});
            sessionRows.push_back(
                {"DELETE FROM PhaseChange WHERE ID = ? AND Session = ?", {id, session}});
        }
    }
    for (const QString& name : names)
        sessionRows.push_back({"DELETE FROM GradeOverride WHERE ID = ? AND DataName = ?", {id, name}});
    if (db.Files().InDatabase()) {
        std::vector<std::pair<QString, QVariantList>> changes = sessionRows;
        for (const QString& name : names)
            changes.push_back({"DELETE FROM CaseData WHERE ID = ? AND Name = ?", {id, name}});
        changes.push_back(
            {QString("delete from CaseInfo WHERE ID = ? and %1").arg(kDayFilter), {id, y, m, d}});
        return runInTransaction(db, changes);
    }
    bool filesRemoved = true;
    for (const QString& name : names) {
        const QString path = testFilePath(id, name);
        if (!path.isEmpty() && QFileInfo::exists(path) && !QFile::remove(path))
            filesRemoved = false;
    }
    sessionRows.push_back(
        {QString("delete from CaseInfo WHERE ID = ? and %1").arg(kDayFilter), {id, y, m, d}});
    const bool rowsRemoved = runInTransaction(db, sessionRows);
    return filesRemoved && rowsRemoved;
}

bool DeletePatient(Database& db, int id)
{
    if (id < 1)
        return false;
    if (db.Files().InDatabase())
        return runInTransaction(db, {{"delete from UserInfo where ID = ?", {id}},
                                     {"delete from CaseInfo where ID = ?", {id}},
                                     {"DELETE FROM SessionDetail WHERE ID = ?", {id}},
                                     {"DELETE FROM PhaseChange WHERE ID = ?", {id}},
                                     {"DELETE FROM TestOperator WHERE ID = ?", {id}},
                                     {"DELETE FROM DaySignOff WHERE ID = ?", {id}},
                                     {"DELETE FROM GradeOverride WHERE ID = ?", {id}},
                                     {"DELETE FROM CaseData WHERE ID = ?", {id}}});
    if (!runInTransaction(db, {{"delete from UserInfo where ID = ?", {id}},
                               {"delete from CaseInfo where ID = ?", {id}},
                               {"DELETE FROM SessionDetail WHERE ID = ?", {id}},
                               {"DELETE FROM PhaseChange WHERE ID = ?", {id}},
                               // A later patient given this key must not inherit who tested or signed.
                               {"DELETE FROM TestOperator WHERE ID = ?", {id}},
                               {"DELETE FROM DaySignOff WHERE ID = ?", {id}},
                               {"DELETE FROM GradeOverride WHERE ID = ?", {id}}}))
        return false;
    const QString folder = AppPaths::PatientCaseFolder(id);
    return !QFileInfo::exists(folder) || RemoveFolderTree(folder);
}

bool RemoveFolderTree(const QString& folder, const FileRemover& removeFile)
{
    if (folder.size() < 4)
        return false;
    const FileRemover remove =
        removeFile ? removeFile : [](const QString& path) { return QFile::remove(path); };
    const QFileInfo self(folder);
    if (self.isSymLink())
        return remove(folder); // the link goes, never what it points at
    if (!self.isDir())
        return false;
    QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                          QDir::Name | QDir::DirsFirst);
    bool ok = true;
    for (const QFileInfo& entry : entries) {
        if (!ok)
            break;
        const QString path = entry.filePath();
        if (entry.isSymLink()) {
            ok = remove(path);
        } else if (entry.isDir()) {
            ok = RemoveFolderTree(path, removeFile);
        } else {
            // Like clearing a read-only attribute before deleting.
            QFile::setPermissions(path,
                                  QFile::permissions(path) | QFile::WriteOwner | QFile::ReadOwner);
            ok = remove(path);
        }
    }
    return ok && QDir().rmdir(folder);
}
