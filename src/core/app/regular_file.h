#pragma once
#include <QByteArray>
#include <QString>

// Reading a file the program keeps (settings, language, test and diagnosis
// files) without trusting what sits under its name: only a regular file is
// read, never a FIFO or a device that would block or never end, and only up to
// the size its format allows.
class RegularFile {
public:
    enum class Status { Read, Missing, NotRegular, TooLarge, Failed };

    // Reads at most `maxBytes` of `path` into `bytes`. A larger file is refused
    // whole (TooLarge) unless `truncate` is set, when its first `maxBytes` are read.
    static Status Read(const QString& path, qint64 maxBytes, QByteArray& bytes,
                       QString* error = nullptr, bool truncate = false);

    // The message of a status other than Read, naming `path`.
    static QString Describe(Status status, const QString& path, qint64 maxBytes);
};
