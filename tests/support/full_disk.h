#pragma once
// A folder on a file system with no room left, for tests of failing writes.
//
// Where the test may mount (root, or a user namespace allowing it), the folder
// is a 64 KiB tmpfs that `Fill()` fills to the last byte: writes then fail the
// way they do on a full disk (ENOSPC). Elsewhere the folder is an ordinary
// temporary folder and `Fill()` sets the process's file-size limit to the
// bytes already written, so that a write fails with EFBIG instead; the test
// output says which one ran. Both are real failures of write(2).
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>
#include <fcntl.h>

class FullDisk {
public:
    FullDisk()
    {
        const QByteArray where = QFile::encodeName(m_dir.path());
        m_mounted = ::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k,mode=0755") == 0;
        if (!m_mounted)
            m_why = std::strerror(errno);
        std::fprintf(stderr, "[ full disk ] %s\n",
                     m_mounted ? "a 64 KiB tmpfs, filled to the last byte"
                               : ("tmpfs cannot be mounted here (" + m_why +
                                  "); a file-size limit makes writes fail instead")
                                     .c_str());
    }
    ~FullDisk()
    {
        Free();
        if (m_mounted) {
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
        }
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool Mounted() const { return m_mounted; }
    QString Path(const QString& name = QString()) const
    {
        return name.isEmpty() ? m_dir.path() : m_dir.path() + '/' + name;
    }

    // Leaves no room for another byte.
    void Fill()
    {
        if (m_mounted) {
            const QByteArray filler = QFile::encodeName(Path(".filler"));
            const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            const std::string block(4096, 'x');
            while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
            }
            while (fd >= 0 && ::write(fd, block.data(), 1) > 0) {
            }
            if (fd >= 0)
                ::close(fd);
            return;
        }
        ::getrlimit(RLIMIT_FSIZE, &m_savedLimit);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none{0, m_savedLimit.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &none);
        m_limited = true;
    }

    // Gives the room back (the files written meanwhile stay).
    void Free()
    {
        if (m_mounted) {
            QFile::remove(Path(".filler"));
        } else if (m_limited) {
            ::setrlimit(RLIMIT_FSIZE, &m_savedLimit);
            std::signal(SIGXFSZ, m_oldHandler);
            m_limited = false;
        }
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    bool m_limited = false;
    std::string m_why;
    rlimit m_savedLimit{};
    void (*m_oldHandler)(int) = SIG_DFL;
};
