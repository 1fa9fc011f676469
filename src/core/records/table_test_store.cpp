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

TestWrite TableTestStore::Write(const SaveResult& result, const QByteArray& bytes,
                                QString& error)
{
    if (!m_db.BeginTransaction()) {
        error = m_db.LastError();
        return TestWrite::FileFailed;
    }
    const auto undo = [&](TestWrite outcome, const QString& reason) {
        error = reason;
        m_db.Rollback();
        return outcome;
    };
    CaseFileStore& files = m_db.Files();
    if (!files.Create(m_id, result.dataName, bytes))
        return undo(files.Taken() ? TestWrite::NameTaken : TestWrite::FileFailed,
                    files.LastError());
    if (!RegisterTest(m_db, m_id, result.dataName, result.testTime, result.record,
                      result.header.testType, result.place))
        return undo(m_db.LastErrorWasConflict() ? TestWrite::NameTaken : TestWrite::RowFailed,
                    m_db.LastError());
    // A conflict can also show only at the commit (a serialization failure).
    if (!m_db.Commit())
        return undo(m_db.LastErrorWasConflict() ? TestWrite::NameTaken : TestWrite::RowFailed,
                    m_db.LastError());
    return TestWrite::Saved;
}

bool TableTestStore::Remove(const QString& dataName, QString& error)
{
    if (!m_db.BeginTransaction()) {
        error = m_db.LastError();
        return false;
    }
    if (!m_db.Execute("DELETE FROM CaseInfo WHERE ID = ? and DataName = ?", {m_id, dataName}) ||
        !m_db.Files().Remove(m_id, dataName) || !m_db.Commit()) {
        error = m_db.LastError().isEmpty() ? m_db.Files().LastError() : m_db.LastError();
        m_db.Rollback();
        return false;
    }
    return true;
}
