#pragma once
#include "core/measure/test_store.h"

class Database;

// Tests kept by a server database: the bytes in CaseData and the CaseInfo rows
// of a whole session go in one transaction. When another workstation takes a
// number first, that test's part of the transaction is rolled back to its
// savepoint and the writer moves on to the next number.
class TableTestStore : public TestStore {
public:
    TableTestStore(Database& db, int id);

    bool BeginSession(QString& error) override;
    int NextNumber(int above, QString& error) override;
    TestWrite Write(const SaveResult& result, const QByteArray& bytes, QString& error) override;
    bool EndSession(bool keep, QString& error) override;
    QString PathOf(const QString&) const override { return QString(); }

private:
    Database& m_db;
    int m_id;
};
