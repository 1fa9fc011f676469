#include "core/exchange/atomic_file.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    // QSaveFile writes a temporary file beside the target, syncs it on commit
    // and renames it over the target; a failed write leaves the old file.
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QString("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QString("cannot write %1: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

bool ReplaceFile(const QString& from, const QString& path, QString* error)
{
    // rename(2) replaces the target atomically; QFile::rename refuses an existing target.
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(path).constData()) != 0) {
        if (error)
            *error = QString("cannot move %1 to %2").arg(from, path);
        return false;
    }
    return true;
}
