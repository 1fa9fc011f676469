#include "core/records/table_test_store.h"

#include "core/records/case_file_store.h"
#include "core/records/case_store.h"
#include "core/records/database.h"

#include "core/measure/test_file_reader.h"
#include "core/measure/test_file_writer.h"

#include <algorithm>

TableTestStore::TableTestStore(Database& db, int id) : m_db(db), m_id(id) {}

int TableTestStore::NextNumber(int above, QString& error)
{
    if (m_id < 1) {
        error = "no patient";
        return -1;
    }
    int largest = std::max(above, 0);
    for (const QString& name : m_db.Files().Names(m_id))
        if (IsTestFileName(name))
            largest = std::max(largest, name.chopped(3).toInt());
    return largest < kLargestTestNumber ? largest + 1 : -1;
}

bool TableTestStore::BeginSession(QString& error)
{
    if (m_db.BeginTransaction())
        return true;
    error = m_db.LastError();
    return false;
}

TestWrite TableTestStore::Write(const SaveResult& result, const QByteArray& bytes,
                                QString& error)
{
    // A failed statement spoils a server transaction: each test has its own
    // savepoint, so a lost race for a number costs only that test's part.
    if (!m_db.Execute("SAVEPOINT test")) {
        error = m_db.LastError();
        return TestWrite::FileFailed;
    }
    const auto undo = [&](TestWrite outcome, const QString& reason) {
        error = reason;
        const bool conflict = m_db.LastErrorWasConflict();
        m_db.Execute("ROLLBACK TO SAVEPOINT test");
        return conflict && outcome != TestWrite::FileFailed ? TestWrite::NameTaken : outcome;
    };
    CaseFileStore& files = m_db.Files();
    if (!files.Create(m_id, result.dataName, bytes))
        return files.Taken() ? undo(TestWrite::NameTaken, files.LastError())
                             : undo(TestWrite::FileFailed, files.LastError());
    if (!RegisterTest(m_db, m_id, result.dataName, result.testTime, result.record,
                      result.header.testType, result.place))
        return undo(TestWrite::RowFailed, m_db.LastError());
    m_db.Execute("RELEASE SAVEPOINT test");
    return TestWrite::Saved;
}

bool TableTestStore::EndSession(bool keep, QString& error)
{
    if (keep && m_db.Commit())
        return true;
    if (keep)
        error = m_db.LastError();
    m_db.Rollback();
    return !keep;
}
