#pragma once
#include "core/records/case_file_store.h"

// The single-workstation store: the files under Case/<ID>/ of the program folder.
class FolderCaseStore : public CaseFileStore {
public:
    bool InDatabase() const override { return false; }
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

    // Case/<ID>/<name>, or empty when `name` is not a case file name.
    static QString PathOf(int id, const QString& name);
};
