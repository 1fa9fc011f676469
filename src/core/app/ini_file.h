#pragma once
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

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

    // The keys of `section` (names in upper case, the first of a name wins) with their values.
    using Values = QHash<QString, QString>;
    static Values SectionValues(const QString& path, const QString& section);

    enum class Write { Written, ChangedMeanwhile, Failed };
    // Writes every (key, value) of `entries` into `section` as one new version
    // of the file, conditional on what this writer read: when the file now
    // holds another value (or none) than `read` for a key to be written, nothing
    // is written and `changes` names each ("KEY: read -> now"). Keys it does not
    // write stay as the file has them. Every write here holds an exclusive lock
    // on the file from its check to its rename, so two processes take turns.
    static Write WriteIfUnchanged(const QString& path, const QString& section,
                                  const QList<QPair<QString, QString>>& entries,
                                  const Values& read, QStringList* changes,
                                  QString* error = nullptr);
    // Why `path` is there but refused (see above); empty when it reads whole
    // or does not exist.
    static QString ReadError(const QString& path);

    // Creates an empty file when there is none; keeps an existing one.
    static bool EnsureExists(const QString& path, QString* error = nullptr);

    static constexpr qint64 kMaxFileSize = 1 << 20;
};
