#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

// Whole-file writes that survive a crash, a power cut and a full disk: the
// bytes go to a temporary file in the target's folder, every byte is checked,
// the file is synced, then it takes the final name and the folder is synced.
// When anything fails the temporary file is removed, the old file (if any)
// stays as it was, and the reason is returned in `error`.
class DurableFile {
public:
    enum class Links { Refuse, Follow };
    // Creates or replaces `path`. Refuses a target that exists but is not a
    // regular file (a folder, a device, a FIFO, and a link unless `links` is
    // Follow: then the regular file it leads to is replaced, as an installer
    // that links the settings elsewhere expects).
    static bool Write(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                      Links links = Links::Refuse);

    enum class Created { Yes, NameTaken, Failed };
    // Like Write, but only when no entry named `path` exists yet: the check and
    // the naming are one step, so of two writers racing for a name exactly one
    // gets it and the other is told NameTaken (its bytes are not kept).
    static Created CreateNew(const QString& path, const QByteArray& bytes,
                             QString* error = nullptr);

    // How the hidden file of a write in progress ends (".<name>.<random>.part").
    static constexpr const char* kTemporarySuffix = ".part";
    // The names of `folder`'s hidden files that writes left behind when they
    // were killed: a live writer holds a lock on its file until it is renamed.
    static QStringList AbandonedTemporaries(const QString& folder);
};
