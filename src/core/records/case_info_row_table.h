#pragma once
#include "core/measure/test_store.h"

class Database;

// The CaseInfo rows of patient `id`'s test files in the case folder, a
// session's rows in one transaction of the records database.
class CaseInfoRowTable : public TestRowTable {
public:
    CaseInfoRowTable(Database& db, int id);

    bool Begin(QString& error) override;
    RowWrite Insert(const SaveResult& result, QString& error) override;
    bool Commit(QString& error) override;
    void Rollback() override;

private:
    Database& m_db;
    int m_id;
};
