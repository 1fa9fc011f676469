#include "core/app/regular_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::Status RegularFile::Read(const QString& path, qint64 maxBytes, QByteArray& bytes,
                                      QString* error, bool truncate)
{
    bytes.clear();
    const auto done = [&](Status status) {
        if (error && status != Status::Read)
            *error = Describe(status, path, maxBytes);
        return status;
    };
    // O_NONBLOCK: opening a FIFO with no writer would otherwise wait forever.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return done(errno == ENOENT || errno == ENOTDIR ? Status::Missing : Status::Failed);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return done(Status::Failed);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return done(Status::NotRegular);
    }
    qint64 wanted = qint64(info.st_size);
    if (wanted > maxBytes) {
        if (!truncate) {
            ::close(fd);
            return done(Status::TooLarge);
        }
        wanted = maxBytes;
    }
    bytes.resize(qsizetype(wanted));
    qint64 got = 0;
    // A file that shrinks meanwhile gives what it still holds; one that grows is read to `wanted`.
    while (got < wanted) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(wanted - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            bytes.clear();
            return done(Status::Failed);
        }
        if (n == 0)
            break;
        got += n;
    }
    ::close(fd);
    bytes.truncate(qsizetype(got));
    return Status::Read;
}

QString RegularFile::Describe(Status status, const QString& path, qint64 maxBytes)
{
    switch (status) {
    case Status::Read:
        return QString();
    case Status::Missing:
        return QString("%1 does not exist").arg(path);
    case Status::NotRegular:
        return QString("%1 is not a regular file").arg(path);
    case Status::TooLarge:
        return QString("%1 is larger than %2 bytes, more than such a file can hold")
            .arg(path, QString::number(maxBytes));
    case Status::Failed:
        break;
    }
    return QString("cannot read %1").arg(path);
}
