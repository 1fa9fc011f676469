#pragma once
// Files other systems pick up are written whole or not at all: a temporary
// name in the same folder, every byte written and synced, then renamed into place.
#include <QByteArray>
#include <QString>

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Moves a finished file over `path` (replacing an old one in one step).
bool ReplaceFile(const QString& from, const QString& path, QString* error = nullptr);
