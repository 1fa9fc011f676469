#include "core/exchange/csv_table.h"

#include <QStringDecoder>

QByteArray CsvByteOrderMark()
{
    return QByteArray("\xEF\xBB\xBF");
}

QByteArray CsvRecord(const QStringList& fields)
{
    QByteArray out;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        const QString& f = fields[i];
        if (f.contains(',') || f.contains('"') || f.contains('\n') || f.contains('\r')) {
            QString quoted = f;
            quoted.replace("\"", "\"\"");
            out += '"' + quoted.toUtf8() + '"';
        } else {
            out += f.toUtf8();
        }
    }
    out += "\r\n";
    return out;
}

QString CsvText(const QString& text)
{
    if (!text.isEmpty() && QString("=+-@").contains(text.front()))
        return '\'' + text;
    return text;
}

QString TextFromCsv(const QString& field)
{
    if (field.size() > 1 && field.front() == '\'' && QString("=+-@").contains(field.at(1)))
        return field.mid(1);
    return field;
}

bool ParseCsv(const QByteArray& bytes, CsvRows& out, QString* error)
{
    QByteArray data = bytes;
    if (data.startsWith(CsvByteOrderMark()))
        data.remove(0, 3);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(data);
    if (decoder.hasError()) {
        if (error)
            *error = "the file is not UTF-8 text";
        return false;
    }
    CsvRows rows;
    QStringList record;
    QString field;
    int line = 1;
    int recordLine = 1;
    bool inQuotes = false;
    bool afterQuote = false; // a quoted field just closed: only , or a line end may follow
    bool fieldStarted = false;
    auto endRecord = [&]() {
        record << field;
        const bool blank = record.size() == 1 && record.front().isEmpty();
        if (!blank) {
            rows.rows.push_back(record);
            rows.lines.push_back(recordLine);
        }
        record.clear();
        field.clear();
        fieldStarted = false;
        afterQuote = false;
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (inQuotes) {
            if (c == '"') {
                if (i + 1 < text.size() && text.at(i + 1) == '"') {
                    field += '"';
                    ++i;
                } else {
                    inQuotes = false;
                    afterQuote = true;
                }
            } else {
                if (c == '\n')
                    ++line;
                field += c;
            }
            continue;
        }
        if (c == ',') {
            record << field;
            field.clear();
            fieldStarted = false;
            afterQuote = false;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
                ++i;
            endRecord();
            ++line;
            recordLine = line;
        } else if (afterQuote) {
            if (error)
                *error = QString("line %1: text after a closing quote").arg(line);
            return false;
        } else if (c == '"' && !fieldStarted) {
            inQuotes = true;
            fieldStarted = true;
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (inQuotes) {
        if (error)
            *error = QString("line %1: a quote is never closed").arg(recordLine);
        return false;
    }
    if (fieldStarted || !record.isEmpty() || afterQuote)
        endRecord();
    out = rows;
    return true;
}
