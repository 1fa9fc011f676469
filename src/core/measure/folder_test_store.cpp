#include "core/measure/folder_test_store.h"

#include "core/measure/test_file_writer.h"

#include "core/app/app_paths.h"
#include "core/app/durable_file.h"

#include <QDir>
#include <QFile>

FolderTestStore::FolderTestStore(QString caseFolder, TestRowWriter writeRow,
                                 TestRowRemover removeRow)
    : m_caseFolder(std::move(caseFolder)), m_writeRow(std::move(writeRow)),
      m_removeRow(std::move(removeRow))
{
}

int FolderTestStore::NextNumber(int above, QString& error)
{
    if (!QDir().mkpath(m_caseFolder)) {
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
    // Saved means both: without its row the test would appear in no day.
    const RowWrite written = m_writeRow ? m_writeRow(result, error) : RowWrite::Failed;
    if (written == RowWrite::Inserted)
        return TestWrite::Saved;
    QFile::remove(path);
    return written == RowWrite::NameTaken ? TestWrite::NameTaken : TestWrite::RowFailed;
}

QString FolderTestStore::PathOf(const QString& dataName) const
{
    return m_caseFolder + '/' + dataName;
}

bool FolderTestStore::Remove(const QString& dataName, QString& error)
{
    // The row first: a file without a row is in no day, a row without its
    // file would show a test that cannot be read.
    if (!m_removeRow || !m_removeRow(dataName, error))
        return false;
    QFile file(PathOf(dataName));
    if (file.exists() && !file.remove()) {
        error = file.errorString();
        return false;
    }
    return true;
}
