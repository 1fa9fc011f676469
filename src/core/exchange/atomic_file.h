#pragma once
// Files other systems pick up are written whole or not at all, through the
// program's durable write (a full disk leaves the old file and says so).
#include <QByteArray>
#include <QString>

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Moves a finished file over `path` (replacing an old one in one step).
bool ReplaceFile(const QString& from, const QString& path, QString* error = nullptr);
