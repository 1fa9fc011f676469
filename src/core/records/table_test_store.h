#pragma once
#include "core/measure/test_store.h"

class Database;

// Tests kept by a server database: the bytes in CaseData and the CaseInfo row
// go in one transaction. When another workstation takes the number first the
// transaction is rolled back and the writer moves on to the next number.
class TableTestStore : public TestStore {
public:
    TableTestStore(Database& db, int id);

    int NextNumber(int above, QString& error) override;
    TestWrite Write(const SaveResult& result, const QByteArray& bytes, QString& error) override;
    QString PathOf(const QString&) const override { return QString(); }
    bool Remove(const QString& dataName, QString& error) override;

private:
    Database& m_db;
    int m_id;
};
