#include "core/app/durable_file.h"

#include "core/app/interface_thread.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

QString reason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Writes all of `bytes` to `fd` and syncs it; false with errno's text otherwise.
bool writeAllAndSync(int fd, const QByteArray& bytes, QString* why)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *why = n < 0 ? reason(errno) : QStringLiteral("nothing was written");
            return false;
        }
        p += n;
        left -= n;
    }
    // Delayed allocation and network file systems report a full disk only here.
    NoteBlockingCall("a disk sync");
    if (::fsync(fd) != 0) {
        *why = reason(errno);
        return false;
    }
    return true;
}

// Makes a rename or a new name in `folder` durable.
void syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return; // some file systems cannot open a folder; the data itself is synced
    ::fsync(fd);
    ::close(fd);
}

// A hidden file next to the target, locked while its writer lives, so that
// the start-up check can tell a save in progress from one a kill left behind.
struct Temporary {
    QByteArray folder;
    QByteArray path;
    int fd = -1;
    ~Temporary()
    {
        if (fd >= 0)
            ::close(fd); // also releases the lock, after the final name is settled
    }
};

// A fresh hidden file next to `target`, holding `bytes` on disk. `keepMode` is
// the mode of the file being replaced (-1: a new file, readable by its owner only).
bool writeTemporary(const QString& target, const QByteArray& bytes, int keepMode, Temporary& temp,
                    QString* error)
{
    const QFileInfo info(target);
    temp.folder = QFile::encodeName(info.absolutePath());
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        // A leading dot and the random suffix keep the name out of every reader's pattern.
        temp.path = temp.folder + "/." + QFile::encodeName(info.fileName()) + '.' +
                    QByteArray::number(QRandomGenerator::global()->generate(), 36) +
                    DurableFile::kTemporarySuffix;
        fd = ::open(temp.path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return fail(error, QString("cannot write %1: %2").arg(target, reason(errno)));
    temp.fd = fd;
    QString why;
    if (::flock(fd, LOCK_EX) != 0)
        why = reason(errno);
    else if (keepMode >= 0 && ::fchmod(fd, mode_t(keepMode)) != 0)
        why = reason(errno);
    else
        writeAllAndSync(fd, bytes, &why);
    if (!why.isEmpty()) {
        ::unlink(temp.path.constData());
        return fail(error, QString("cannot write %1: %2").arg(target, why));
    }
    return true;
}

} // namespace

bool DurableFile::Write(const QString& path, const QByteArray& bytes, QString* error,
                        Links links)
{
    if (path.isEmpty())
        return fail(error, "no file name");
    QString finalPath = path;
    struct stat existing {};
    if (links == Links::Follow &&
        ::lstat(QFile::encodeName(path).constData(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
        const QString resolved = QFileInfo(path).canonicalFilePath();
        if (resolved.isEmpty())
            return fail(error, QString("%1 is a link to nothing; it is left as it is").arg(path));
        finalPath = resolved;
    }
    const QByteArray target = QFile::encodeName(finalPath);
    int mode = -1;
    if (::lstat(target.constData(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode))
            return fail(error, QString("%1 is not a regular file; it is left as it is").arg(path));
        mode = int(existing.st_mode & 07777); // a replaced file keeps its permissions
    }
    Temporary temp;
    if (!writeTemporary(finalPath, bytes, mode, temp, error))
        return false;
    if (::rename(temp.path.constData(), target.constData()) != 0) {
        const int code = errno;
        ::unlink(temp.path.constData());
        return fail(error, QString("cannot write %1: %2").arg(path, reason(code)));
    }
    syncFolder(temp.folder);
    return true;
}

DurableFile::Created DurableFile::CreateNew(const QString& path, const QByteArray& bytes,
                                            QString* error)
{
    if (path.isEmpty()) {
        fail(error, "no file name");
        return Created::Failed;
    }
    const QByteArray target = QFile::encodeName(path);
    struct stat existing {};
    if (::lstat(target.constData(), &existing) == 0)
        return Created::NameTaken; // saves writing the bytes for a name already gone
    Temporary temp;
    if (!writeTemporary(path, bytes, -1, temp, error))
        return Created::Failed;
    // link() never replaces an existing entry: the complete file appears under
    // the final name only when nobody else took it in the meantime.
    int linked = ::link(temp.path.constData(), target.constData());
    int code = errno;
    if (linked != 0 && (code == EPERM || code == EOPNOTSUPP || code == ENOSYS)) {
        // No hard links here: reserve the name exclusively, then move the whole file over it.
        const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        code = errno;
        if (fd >= 0) {
            ::close(fd);
            linked = ::rename(temp.path.constData(), target.constData());
            code = errno;
            if (linked != 0)
                ::unlink(target.constData());
        }
    }
    ::unlink(temp.path.constData());
    if (linked != 0) {
        if (code == EEXIST)
            return Created::NameTaken;
        fail(error, QString("cannot write %1: %2").arg(path, reason(code)));
        return Created::Failed;
    }
    syncFolder(temp.folder);
    return Created::Yes;
}

QStringList DurableFile::AbandonedTemporaries(const QString& folder)
{
    QStringList abandoned;
    const QStringList hidden = QDir(folder).entryList(
        {QString(".*") + kTemporarySuffix}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : hidden) {
        const QByteArray path = QFile::encodeName(folder + '/' + name);
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue; // gone meanwhile: its writer finished
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            abandoned << name;
        ::close(fd);
    }
    return abandoned;
}
