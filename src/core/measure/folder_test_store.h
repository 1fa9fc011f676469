#pragma once
#include "core/measure/test_store.h"

// Tests as files of a patient's case folder: a number is taken by creating its
// file exclusively and durably, then the row goes in through `writeRow`; a
// file whose row fails is removed again.
class FolderTestStore : public TestStore {
public:
    FolderTestStore(QString caseFolder, TestRowWriter writeRow, TestRowRemover removeRow = {});

    int NextNumber(int above, QString& error) override;
    TestWrite Write(const SaveResult& result, const QByteArray& bytes, QString& error) override;
    QString PathOf(const QString& dataName) const override;
    bool Remove(const QString& dataName, QString& error) override;

private:
    QString m_caseFolder;
    TestRowWriter m_writeRow;
    TestRowRemover m_removeRow;
};
