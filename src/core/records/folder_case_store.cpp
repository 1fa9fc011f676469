#include "core/records/folder_case_store.h"

#include "core/app/app_paths.h"
#include "core/app/durable_file.h"
#include "core/app/regular_file.h"
#include "core/measure/test_file_reader.h"
#include "core/records/diagnosis.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

bool IsCaseFileName(const QString& name)
{
    static const QRegularExpression pattern("^(\\d{1,9}\\.dt|\\d{4}-\\d{2}-\\d{2}\\.dia)$");
    return pattern.match(name).hasMatch();
}

QString FolderCaseStore::PathOf(int id, const QString& name)
{
    if (id < 1 || !IsCaseFileName(name))
        return QString();
    // A patient folder that is a link leading out of the case store is never used.
    const QString folder = AppPaths::PatientCaseFolder(id);
    if (QFileInfo::exists(folder) && !AppPaths::IsWithinCaseRoot(folder))
        return QString();
    return folder + '/' + name;
}

bool FolderCaseStore::Read(int id, const QString& name, QByteArray& bytes)
{
    const QString path = PathOf(id, name);
    if (path.isEmpty()) {
        m_lastError = "Not a case file: " + name;
        return false;
    }
    // Only a regular file, and no more than its format holds: a larger one is
    // refused whole and kept, never cut to fit.
    const qint64 limit = name.endsWith(".dia") ? kDiagnosisFileSize : kMaxTestFileSize;
    const RegularFile::Status status = RegularFile::Read(path, limit, bytes);
    if (status != RegularFile::Status::Read) {
        m_lastError = RegularFile::Describe(status, path, limit);
        return false;
    }
    return true;
}

bool FolderCaseStore::Exists(int id, const QString& name)
{
    const QString path = PathOf(id, name);
    return !path.isEmpty() && QFileInfo(path).isFile();
}

namespace {

bool makeFolderFor(const QString& path, QString& error)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!AppPaths::MakePrivateFolder(folder)) {
        error = "cannot create " + folder;
        return false;
    }
    if (!AppPaths::IsWithinCaseRoot(folder)) {
        error = folder + " leads outside " + AppPaths::CaseRoot();
        return false;
    }
    return true;
}

} // namespace

bool FolderCaseStore::Create(int id, const QString& name, const QByteArray& bytes)
{
    m_taken = false;
    const QString path = PathOf(id, name);
    if (path.isEmpty()) {
        m_lastError = "Not a case file: " + name;
        return false;
    }
    if (!makeFolderFor(path, m_lastError))
        return false;
    // Exclusive and durable: of two writers racing for a name exactly one gets it.
    const DurableFile::Created created = DurableFile::CreateNew(path, bytes, &m_lastError);
    m_taken = created == DurableFile::Created::NameTaken;
    return created == DurableFile::Created::Yes;
}

bool FolderCaseStore::Write(int id, const QString& name, const QByteArray& bytes,
                            const QDateTime& written)
{
    const QString path = PathOf(id, name);
    if (path.isEmpty()) {
        m_lastError = "Not a case file: " + name;
        return false;
    }
    if (!makeFolderFor(path, m_lastError) || !DurableFile::Write(path, bytes, &m_lastError))
        return false;
    if (written.isValid()) {
        // The time is only shown (a diagnosis's date); the bytes are what matters.
        QFile file(path);
        if (file.open(QIODevice::ReadWrite))
            file.setFileTime(written, QFileDevice::FileModificationTime);
    }
    return true;
}

QDateTime FolderCaseStore::Written(int id, const QString& name)
{
    const QString path = PathOf(id, name);
    return path.isEmpty() || !QFileInfo(path).isFile() ? QDateTime()
                                                       : QFileInfo(path).lastModified();
}

bool FolderCaseStore::Remove(int id, const QString& name)
{
    const QString path = PathOf(id, name);
    if (path.isEmpty()) {
        m_lastError = "Not a case file: " + name;
        return false;
    }
    QFile file(path);
    if (!file.exists() || file.remove())
        return true;
    m_lastError = QString("cannot remove %1: %2").arg(path, file.errorString());
    return false;
}

QStringList FolderCaseStore::Names(int id)
{
    if (id < 1)
        return {};
    QStringList names;
    const QStringList entries = QDir(AppPaths::PatientCaseFolder(id)).entryList(QDir::Files);
    for (const QString& entry : entries) {
        if (IsCaseFileName(entry))
            names << entry;
    }
    return names;
}

bool FolderCaseStore::RemoveCase(int id)
{
    if (id < 1)
        return false;
    QDir folder(AppPaths::PatientCaseFolder(id));
    return !folder.exists() || folder.removeRecursively();
}

QList<int> FolderCaseStore::CaseIds()
{
    QList<int> ids;
    static const QRegularExpression number("^[1-9]\\d{0,8}$");
    const QStringList entries = QDir(AppPaths::CaseRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (number.match(entry).hasMatch())
            ids << entry.toInt();
    }
    return ids;
}
