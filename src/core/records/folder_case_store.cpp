#include "core/records/folder_case_store.h"

#include "core/app/app_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

bool IsCaseFileName(const QString& name)
{
    static const QRegularExpression pattern("^(\\d{1,9}\\.dt|\\d{4}-\\d{2}-\\d{2}\\.dia)$");
    return pattern.match(name).hasMatch();
}

QString FolderCaseStore::PathOf(int id, const QString& name)
{
    if (id < 1 || !IsCaseFileName(name))
        return QString();
    return AppPaths::PatientCaseFolder(id) + '/' + name;
}

bool FolderCaseStore::Read(int id, const QString& name, QByteArray& bytes)
{
    QFile file(PathOf(id, name));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) {
        m_lastError = file.errorString();
        return false;
    }
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

bool FolderCaseStore::Exists(int id, const QString& name)
{
    const QString path = PathOf(id, name);
    return !path.isEmpty() && QFileInfo(path).isFile();
}

// The bytes go to a temporary file first; linking it under the final name
// fails when the name exists, so two writers never share a name and a reader
// never sees half a file.
bool FolderCaseStore::Create(int id, const QString& name, const QByteArray& bytes)
{
    m_taken = false;
    const QString path = PathOf(id, name);
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath())) {
        m_lastError = "Cannot make the case folder for " + name;
        return false;
    }
    const QString temporary = path + ".part";
    {
        QFile file(temporary);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
            m_lastError = file.errorString();
            file.close();
            QFile::remove(temporary);
            return false;
        }
    }
    const int linked = ::link(QFile::encodeName(temporary).constData(),
                              QFile::encodeName(path).constData());
    const int linkError = errno;
    QFile::remove(temporary);
    if (linked != 0) {
        m_taken = linkError == EEXIST;
        m_lastError = QString::fromLocal8Bit(std::strerror(linkError));
        return false;
    }
    return true;
}

bool FolderCaseStore::Write(int id, const QString& name, const QByteArray& bytes)
{
    const QString path = PathOf(id, name);
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath())) {
        m_lastError = "Cannot make the case folder for " + name;
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_lastError = file.errorString();
        return false;
    }
    return true;
}

bool FolderCaseStore::Remove(int id, const QString& name)
{
    const QString path = PathOf(id, name);
    if (path.isEmpty())
        return false;
    return !QFileInfo::exists(path) || QFile::remove(path);
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
