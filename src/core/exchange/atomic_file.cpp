#include "core/exchange/atomic_file.h"

#include "core/app/durable_file.h"

#include <QFile>

#include <cstdio>

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    // The program's one durable write: every byte checked, synced, renamed, folder synced.
    return DurableFile::Write(path, bytes, error);
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
