#include "core/records/case_info_row_table.h"

#include "core/records/case_store.h"
#include "core/records/database.h"
#include "core/records/recordset.h"

#include "core/measure/test_file_writer.h"

CaseInfoRowTable::CaseInfoRowTable(Database& db, int id) : m_db(db), m_id(id) {}

bool CaseInfoRowTable::Begin(QString& error)
{
    if (m_db.BeginTransaction())
        return true;
    error = m_db.LastError();
    return false;
}

RowWrite CaseInfoRowTable::Insert(const SaveResult& saved, QString& error)
{
    // The savepoint keeps the session's transaction usable after a refused insert.
    if (!m_db.Execute("SAVEPOINT test_row")) {
        error = m_db.LastError();
        return RowWrite::Failed;
    }
    if (RegisterTest(m_db, m_id, saved.dataName, saved.testTime, saved.record,
                     saved.header.testType, saved.place, saved.cues)) {
        m_db.Execute("RELEASE SAVEPOINT test_row");
        return RowWrite::Inserted;
    }
    error = m_db.LastError();
    m_db.Execute("ROLLBACK TO SAVEPOINT test_row");
    Recordset rs(m_db);
    const bool taken = rs.Open("SELECT DataName FROM CaseInfo WHERE ID = ? and DataName = ?",
                               {m_id, saved.dataName}) &&
                       rs.GetRecordCount() > 0;
    return taken ? RowWrite::NameTaken : RowWrite::Failed;
}

bool CaseInfoRowTable::Commit(QString& error)
{
    if (m_db.Commit())
        return true;
    error = m_db.LastError();
    return false;
}

void CaseInfoRowTable::Rollback() { m_db.Rollback(); }
