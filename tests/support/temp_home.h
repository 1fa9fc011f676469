#pragma once
// A fresh program folder for one test, removed afterwards.
#include "core/app/app_paths.h"
#include "core/app/system_settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class TempHome {
public:
    TempHome()
    {
        AppPaths::Init(m_dir.path(), m_dir.path());
        Settings().Reset();
    }
    ~TempHome() { Settings().Reset(); }
    QString path(const QString& name = QString()) const
    {
        return name.isEmpty() ? m_dir.path() : QDir(m_dir.path()).filePath(name); // an absolute name as it is
    }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QDir().mkpath(QFileInfo(path(name)).absolutePath());
        QFile file(path(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    }
    QByteArray read(const QString& name) const
    {
        QFile file(path(name));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

private:
    QTemporaryDir m_dir;
};
