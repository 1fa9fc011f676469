#include "core/app/ini_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <optional>

namespace {

struct ParsedLines {
    QStringList lines; // without line terminators
    QString newline = "\n";
    bool endsWithNewline = true;
};

ParsedLines readLines(const QString& path)
{
    ParsedLines parsed;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return parsed;
    QByteArray bytes = file.readAll();
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

} // namespace

QString IniFile::ReadString(const QString& path, const QString& section, const QString& key,
                            const QString& defaultValue, int maxLength)
{
    const ParsedLines parsed = readLines(path);
    const Location where = locate(parsed.lines, section, key);
    const QString value = where.keyLine < 0 ? defaultValue : valueOf(parsed.lines[where.keyLine]);
    return maxLength >= 0 ? value.left(maxLength) : value;
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
                          const QString& value)
{
    ParsedLines parsed = readLines(path);
    QStringList& lines = parsed.lines;
    const Location where = locate(lines, section, key);
    const QString entry = key + '=' + value;
    int changedLine = 0;
    if (where.keyLine >= 0) {
        changedLine = where.keyLine;
        lines[changedLine] = entry;
    } else if (where.sectionLine >= 0) {
        changedLine = where.sectionEnd;
        lines.insert(changedLine, entry);
    } else {
        lines.append('[' + section + ']');
        lines.append(entry);
        changedLine = lines.size() - 1;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QString text = lines.join(parsed.newline);
    // A file without a final newline keeps that form unless our line became its last.
    if (parsed.endsWithNewline || changedLine == lines.size() - 1)
        text += parsed.newline;
    file.write(text.toUtf8());
    return file.commit();
}

bool IniFile::WriteInt(const QString& path, const QString& section, const QString& key, int value)
{
    return WriteString(path, section, key, QString::number(value));
}

bool IniFile::EnsureExists(const QString& path)
{
    if (QFile::exists(path))
        return true;
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}
