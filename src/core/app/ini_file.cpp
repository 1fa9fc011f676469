#include "core/app/ini_file.h"

#include "core/app/durable_file.h"
#include "core/app/regular_file.h"
#include "core/app/text_limit.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <mutex>
#include <optional>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct ParsedLines {
    QStringList lines; // without line terminators
    QString newline = "\n";
    bool endsWithNewline = true;
    // Why a file that is there was not read (too large, not a regular file,
    // unreadable); empty when it was read whole or is missing.
    QString refused;
};

ParsedLines parseLines(QByteArray bytes)
{
    ParsedLines parsed;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const QString text = QString::fromUtf8(bytes);
    if (text.contains("\r\n"))
        parsed.newline = "\r\n";
    parsed.endsWithNewline = text.isEmpty() || text.endsWith('\n');
    QString normalized = text;
    normalized.replace("\r\n", "\n");
    parsed.lines = normalized.split('\n');
    if (parsed.endsWithNewline)
        parsed.lines.removeLast(); // the empty piece after the final newline
    return parsed;
}

// What tells one version of a file from the next without reading it.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;
    long long changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> stampOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileStamp{info.st_dev, info.st_ino, info.st_size,
                     info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
                     info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec};
}

// Parsed files kept while they stay unchanged: a command looks up dozens of
// texts, and each look-up must still see an edit made since the last one.
class ParsedFileCache {
public:
    ParsedLines Get(const QString& path)
    {
        const std::optional<FileStamp> stamp = stampOf(path);
        std::lock_guard lock(m_mutex);
        if (!stamp) {
            m_entries.remove(path);
            return {};
        }
        const auto found = m_entries.constFind(path);
        if (found != m_entries.constEnd() && found->stamp == *stamp && found->settled)
            return found->lines;
        QByteArray bytes;
        QString reason;
        // A file too large, a FIFO or a device is refused whole: its keys read
        // as missing, and no write may replace it (see WriteString).
        switch (RegularFile::Read(path, IniFile::kMaxFileSize, bytes, &reason)) {
        case RegularFile::Status::Read:
            break;
        case RegularFile::Status::Missing:
            m_entries.remove(path);
            return {};
        case RegularFile::Status::NotRegular:
        case RegularFile::Status::TooLarge:
        case RegularFile::Status::Failed: {
            m_entries.remove(path);
            ParsedLines refused;
            refused.refused = reason;
            return refused;
        }
        }
        if (m_entries.size() >= kMaxEntries)
            m_entries.clear();
        Entry& entry = m_entries[path];
        entry.stamp = *stamp;
        entry.lines = parseLines(bytes);
        // A file changed within the clock's granularity of now could change again
        // without a new stamp; it is trusted only once its stamp lies safely past.
        const long long nowNs = QDateTime::currentMSecsSinceEpoch() * 1000000LL;
        entry.settled = std::max(stamp->modifiedNs, stamp->changedNs) < nowNs - kSettleNs;
        return entry.lines;
    }

private:
    static constexpr int kMaxEntries = 16;
    static constexpr long long kSettleNs = 2000000000LL;
    struct Entry {
        FileStamp stamp;
        ParsedLines lines;
        bool settled = false;
    };
    std::mutex m_mutex;
    QHash<QString, Entry> m_entries;
};

ParsedLines readLines(const QString& path)
{
    static ParsedFileCache cache;
    return cache.Get(path);
}

std::optional<QString> sectionName(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith('['))
        return std::nullopt;
    const int close = trimmed.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return trimmed.mid(1, close - 1).trimmed();
}

// Key of a "key=value" line, or nothing for comments and other lines.
std::optional<QString> keyName(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(';'))
        return std::nullopt;
    const int eq = trimmed.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    return trimmed.left(eq).trimmed();
}

QString valueOf(const QString& line)
{
    QString value = line.mid(line.indexOf('=') + 1).trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct Location {
    int sectionLine = -1; // index of the [section] line
    int sectionEnd = -1;  // index one past the section's last non-blank line
    int keyLine = -1;     // index of the first matching key line
};

Location locate(const QStringList& lines, const QString& section, const QString& key)
{
    Location where;
    bool inSection = false;
    for (int i = 0; i < lines.size(); ++i) {
        if (const auto name = sectionName(lines[i])) {
            if (inSection)
                break; // first matching section only
            if (sameName(*name, section)) {
                inSection = true;
                where.sectionLine = i;
                where.sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!lines[i].trimmed().isEmpty())
            where.sectionEnd = i + 1;
        if (where.keyLine < 0) {
            if (const auto name = keyName(lines[i]); name && sameName(*name, key))
                where.keyLine = i;
        }
    }
    return where;
}

// An exclusive lock on the file the name leads to now. A writer that waited
// while another replaced the file holds the old one's lock, so it looks again.
class WriteLock {
public:
    explicit WriteLock(const QString& path)
    {
        const QByteArray name = QFile::encodeName(path);
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            struct stat held {}, now {};
            if (fd < 0)
                return; // nothing there yet: the write creates it
            if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
                ::close(fd); // refused on reading anyway
                return;
            }
            while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
            if (::stat(name.constData(), &now) == 0 && now.st_dev == held.st_dev &&
                now.st_ino == held.st_ino)
                m_fd = fd;
            else
                ::close(fd);
        }
    }
    ~WriteLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

private:
    int m_fd = -1;
};

// The keys of `section` in `lines`, first of a name only.
IniFile::Values sectionValues(const QStringList& lines, const QString& section)
{
    IniFile::Values values;
    bool inSection = false;
    for (const QString& line : lines) {
        if (const auto name = sectionName(line)) {
            if (inSection)
                break;
            inSection = sameName(*name, section);
            continue;
        }
        if (!inSection)
            continue;
        if (const auto key = keyName(line); key && !values.contains(key->toUpper()))
            values.insert(key->toUpper(), valueOf(line));
    }
    return values;
}

// Puts `key=value` into `lines`.
void setEntry(QStringList& lines, const QString& section, const QString& key, const QString& value)
{
    const Location where = locate(lines, section, key);
    const QString entry = key + '=' + value;
    if (where.keyLine >= 0) {
        lines[where.keyLine] = entry;
    } else if (where.sectionLine >= 0) {
        lines.insert(where.sectionEnd, entry);
    } else {
        lines.append('[' + section + ']');
        lines.append(entry);
    }
}

} // namespace

QString IniFile::ReadString(const QString& path, const QString& section, const QString& key,
                            const QString& defaultValue, int maxLength)
{
    const ParsedLines parsed = readLines(path);
    const Location where = locate(parsed.lines, section, key);
    const QString value = where.keyLine < 0 ? defaultValue : valueOf(parsed.lines[where.keyLine]);
    return maxLength >= 0 ? TextLimit::Left(value, maxLength) : value;
}

int IniFile::ReadInt(const QString& path, const QString& section, const QString& key,
                     int defaultValue)
{
    const ParsedLines parsed = readLines(path);
    const Location where = locate(parsed.lines, section, key);
    if (where.keyLine < 0)
        return defaultValue;
    const QString value = valueOf(parsed.lines[where.keyLine]);
    // Like atoi: an optional sign and the leading digits; anything else gives 0.
    int pos = 0;
    bool negative = false;
    if (pos < value.size() && (value[pos] == '-' || value[pos] == '+'))
        negative = value[pos++] == '-';
    long long number = 0;
    while (pos < value.size() && value[pos].isDigit() && value[pos].unicode() < 128) {
        number = number * 10 + (value[pos++].unicode() - '0');
        if (number > 0xFFFFFFFFLL)
            break;
    }
    if (negative)
        number = -number;
    return static_cast<int>(static_cast<unsigned int>(number & 0xFFFFFFFFLL));
}

bool IniFile::HasKey(const QString& path, const QString& section, const QString& key)
{
    const ParsedLines parsed = readLines(path);
    return locate(parsed.lines, section, key).keyLine >= 0;
}

bool IniFile::WriteString(const QString& path, const QString& section, const QString& key,
                          const QString& value, QString* error)
{
    return WriteIfUnchanged(path, section, {{key, value}}, {}, nullptr, error) == Write::Written;
}

IniFile::Values IniFile::SectionValues(const QString& path, const QString& section)
{
    return sectionValues(readLines(path).lines, section);
}

IniFile::Write IniFile::WriteIfUnchanged(const QString& path, const QString& section,
                                         const QList<QPair<QString, QString>>& entries,
                                         const Values& read, QStringList* changes,
                                         QString* error)
{
    const WriteLock lock(path);
    ParsedLines parsed = readLines(path);
    QStringList keys;
    for (const auto& entry : entries)
        keys << entry.first;
    if (!parsed.refused.isEmpty()) {
        // Writing lines into a file not read would drop every key in it.
        if (error)
            *error = parsed.refused + "; " + keys.join(", ") +
                     " not saved and the file is left as it is";
        return Write::Failed;
    }
    // A null `changes` asks for no check (a plain write of one key).
    if (changes) {
        changes->clear();
        const Values now = sectionValues(parsed.lines, section);
        for (const QString& key : keys) {
            const QString name = key.toUpper();
            if (read.contains(name) != now.contains(name) || read.value(name) != now.value(name))
                *changes << QString("%1: %2 -> %3").arg(key, read.value(name), now.value(name));
        }
        if (!changes->isEmpty())
            return Write::ChangedMeanwhile;
    }
    QStringList& lines = parsed.lines;
    const std::optional<QString> lastBefore =
        lines.isEmpty() ? std::nullopt : std::optional<QString>(lines.last());
    for (const auto& [key, value] : entries)
        setEntry(lines, section, key, value);

    QString text = lines.join(parsed.newline);
    // A file without a final newline keeps that form unless a written line became its last.
    if (parsed.endsWithNewline || lastBefore != lines.last())
        text += parsed.newline;
    const QByteArray bytes = text.toUtf8();
    // A file the next read would refuse is not written.
    if (bytes.size() > IniFile::kMaxFileSize) {
        if (error)
            *error = QString("%1 would grow beyond %2 bytes; %3 not saved")
                         .arg(path, QString::number(IniFile::kMaxFileSize), keys.join(", "));
        return Write::Failed;
    }
    return DurableFile::Write(path, bytes, error, DurableFile::Links::Follow) ? Write::Written
                                                                              : Write::Failed;
}

bool IniFile::WriteInt(const QString& path, const QString& section, const QString& key, int value,
                       QString* error)
{
    return WriteString(path, section, key, QString::number(value), error);
}

QString IniFile::ReadError(const QString& path)
{
    return readLines(path).refused;
}

bool IniFile::EnsureExists(const QString& path, QString* error)
{
    return DurableFile::CreateNew(path, QByteArray(), error) != DurableFile::Created::Failed;
}
