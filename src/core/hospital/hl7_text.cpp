#include "core/hospital/hl7_text.h"

#include <QDateTime>

QString Hl7Escape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += "\\E\\";
            break;
        case '|':
            out += "\\F\\";
            break;
        case '^':
            out += "\\S\\";
            break;
        case '&':
            out += "\\T\\";
            break;
        case '~':
            out += "\\R\\";
            break;
        case '\r':
            out += "\\X0D\\";
            break;
        case '\n':
            out += "\\X0A\\";
            break;
        default:
            out += c.unicode() < 0x20 || c.unicode() == 0x7F ? QChar(' ') : c;
        }
    }
    return out;
}

QString Hl7Unescape(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype end = text[i] == '\\' ? text.indexOf('\\', i + 1) : -1;
        if (end < 0) {
            out += text[i];
            continue;
        }
        const QString escape = text.mid(i + 1, end - i - 1);
        static const QString plain = "|^&~\\";
        static const QString codes = "FSTRE";
        if (escape.size() == 1 && codes.contains(escape[0]))
            out += plain[codes.indexOf(escape[0])];
        else if (escape.startsWith('X'))
            out += QString::fromUtf8(QByteArray::fromHex(escape.mid(1).toLatin1()));
        i = end;
    }
    return out;
}

QString Hl7DateTime(const QDateTime& local)
{
    const int offset = local.offsetFromUtc() / 60;
    const int minutes = offset < 0 ? -offset : offset;
    return local.toString("yyyyMMddHHmmss") + (offset < 0 ? '-' : '+') +
           QString("%1%2")
               .arg(minutes / 60, 2, 10, QChar('0'))
               .arg(minutes % 60, 2, 10, QChar('0'));
}
