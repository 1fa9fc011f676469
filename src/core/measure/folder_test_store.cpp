#include "core/measure/folder_test_store.h"

#include "core/measure/test_file_writer.h"

#include "core/app/app_paths.h"
#include "core/app/durable_file.h"

#include <QDir>
#include <QFile>

FolderTestStore::FolderTestStore(QString caseFolder, std::unique_ptr<TestRowTable> rows)
    : m_caseFolder(std::move(caseFolder)), m_rows(std::move(rows))
{
}

bool FolderTestStore::BeginSession(QString& error)
{
    m_written.clear();
    return m_rows->Begin(error);
}

int FolderTestStore::NextNumber(int above, QString& error)
{
    if (!AppPaths::MakePrivateFolder(m_caseFolder)) {
        error = "cannot create " + m_caseFolder;
        return -1;
    }
    // A link in the case store must not carry the patient's tests somewhere else.
    if (!AppPaths::IsWithinCaseRoot(m_caseFolder)) {
        error = m_caseFolder + " leads outside " + AppPaths::CaseRoot();
        return -1;
    }
    return NextTestNumber(m_caseFolder, above);
}

TestWrite FolderTestStore::Write(const SaveResult& result, const QByteArray& bytes,
                                 QString& error)
{
    const QString path = PathOf(result.dataName);
    const DurableFile::Created created = DurableFile::CreateNew(path, bytes, &error);
    if (created == DurableFile::Created::NameTaken)
        return TestWrite::NameTaken;
    if (created == DurableFile::Created::Failed)
        return TestWrite::FileFailed;
    const RowWrite written = m_rows->Insert(result, error);
    if (written == RowWrite::Inserted) {
        m_written << path;
        return TestWrite::Saved;
    }
    QFile::remove(path);
    return written == RowWrite::NameTaken ? TestWrite::NameTaken : TestWrite::RowFailed;
}

bool FolderTestStore::EndSession(bool keep, QString& error)
{
    if (keep && m_rows->Commit(error)) {
        m_written.clear();
        return true;
    }
    // Rows first: a file without a row is in no day, a row without its file
    // would show a test that cannot be read.
    m_rows->Rollback();
    removeWritten();
    return !keep;
}

void FolderTestStore::removeWritten()
{
    for (const QString& path : m_written)
        QFile::remove(path);
    m_written.clear();
}

QString FolderTestStore::PathOf(const QString& dataName) const
{
    return m_caseFolder + '/' + dataName;
}
