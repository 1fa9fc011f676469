#pragma once
// The readers under test take file names: each input becomes the content of
// one scratch file in a private folder, rewritten for every run.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <unistd.h>

inline QString FuzzFolder()
{
    static const QString folder = [] {
        QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/tav-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern.data());
        return made ? QString::fromLocal8Bit(made) : QDir::tempPath();
    }();
    return folder;
}

// Writes the input to <FuzzFolder>/<name> and returns that path.
inline QString FuzzFile(const std::uint8_t* data, std::size_t size, const QString& name)
{
    const QString path = FuzzFolder() + '/' + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    return path;
}
