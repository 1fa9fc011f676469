#pragma once
#include <QString>

// Reads and writes INI files the way the Windows profile functions do:
// section and key names compare without case, the first matching section and
// key win, values are trimmed and one pair of surrounding quotes is dropped.
// A write changes only the one line it concerns (or adds it) and replaces the
// file durably (see DurableFile); a missing file is created. A file is read
// whole or not at all: only a regular file of at most kMaxFileSize bytes is
// read. Any other file is refused: its keys read as missing, and a write fails,
// leaving it unchanged, rather than replace it with the one key written.
class IniFile {
public:
    // Value of `key`, cut to `maxLength` characters; `defaultValue` when the
    // file, section or key is missing.
    static QString ReadString(const QString& path, const QString& section, const QString& key,
                              const QString& defaultValue, int maxLength);
    // Leading decimal integer of the value (0 when it has none); `defaultValue`
    // only when the key is missing.
    static int ReadInt(const QString& path, const QString& section, const QString& key,
                       int defaultValue);
    static bool HasKey(const QString& path, const QString& section, const QString& key);

    // False, with the reason in `error`, when the file could not be written
    // whole, was refused on reading, or would grow beyond kMaxFileSize; the old
    // file is then unchanged.
    static bool WriteString(const QString& path, const QString& section, const QString& key,
                            const QString& value, QString* error = nullptr);
    static bool WriteInt(const QString& path, const QString& section, const QString& key,
                         int value, QString* error = nullptr);
    // Why `path` is there but refused (see above); empty when it reads whole
    // or does not exist.
    static QString ReadError(const QString& path);

    // Creates an empty file when there is none; keeps an existing one.
    static bool EnsureExists(const QString& path, QString* error = nullptr);

    static constexpr qint64 kMaxFileSize = 1 << 20;
};
