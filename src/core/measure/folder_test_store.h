#pragma once
#include "core/measure/test_store.h"

#include <QStringList>

#include <memory>

// Tests as files of a patient's case folder: a number is taken by creating its
// file exclusively and durably, then its row goes into the session's
// transaction of `rows`; the files of a session that is not kept are removed.
class FolderTestStore : public TestStore {
public:
    FolderTestStore(QString caseFolder, std::unique_ptr<TestRowTable> rows);

    bool BeginSession(QString& error) override;
    int NextNumber(int above, QString& error) override;
    TestWrite Write(const SaveResult& result, const QByteArray& bytes, QString& error) override;
    bool EndSession(bool keep, QString& error) override;
    QString PathOf(const QString& dataName) const override;

private:
    void removeWritten();

    QString m_caseFolder;
    std::unique_ptr<TestRowTable> m_rows;
    QStringList m_written; // the files of the open session
};
