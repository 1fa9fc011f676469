#pragma once
#include "core/records/case_file_store.h"

class Database;

// The shared-server store: table CaseData (ID, Name, Bytes) of the records
// database. Its statements join the caller's transaction, so a test's bytes
// and its CaseInfo row are committed together or not at all.
class TableCaseStore : public CaseFileStore {
public:
    explicit TableCaseStore(Database& db) : m_db(db) {}

    bool InDatabase() const override { return true; }
    bool Read(int id, const QString& name, QByteArray& bytes) override;
    bool Exists(int id, const QString& name) override;
    bool Create(int id, const QString& name, const QByteArray& bytes) override;
    bool Write(int id, const QString& name, const QByteArray& bytes,
               const QDateTime& written = QDateTime()) override;
    QDateTime Written(int id, const QString& name) override;
    bool Remove(int id, const QString& name) override;
    QStringList Names(int id) override;
    bool RemoveCase(int id) override;
    QList<int> CaseIds() override;

private:
    Database& m_db;
};
