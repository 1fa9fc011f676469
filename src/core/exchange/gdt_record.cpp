#include "core/exchange/gdt_record.h"

#include <QSet>

#include <algorithm>
#include <cstdint>

namespace {

constexpr int kLengthDigits = 3;
constexpr int kFieldDigits = 4;
constexpr int kLineOverhead = kLengthDigits + kFieldDigits + 2; // + CR LF
constexpr int kMaxLineLength = 999;

// The GDT 2.1 / 3.0 fields a device may meet in the records it exchanges
// (header, patient master data, examination, results, file references).
const QSet<int>& knownFields()
{
    static const QSet<int> fields = {
        8000, 8100, 8310, 8311, 8314, 8315, 8316, 9206, 9218, // header
        3000, 3100, 3101, 3102, 3103, 3104, 3105, 3106, 3107, 3108, 3110, 3112, 3113, 3114,
        3116, 3119, 3622, 3623, 3628,                                     // patient
        6200, 6201, 6205, 6220, 6221, 6226, 6227, 6228, 6302, 6303, 6304, 6305, // examination
        8402, 8403, 8404, 8406, 8407, 8410, 8411, 8418, 8420, 8421, 8422, 8425, 8426, 8428,
        8429, 8430, 8431, 8432, 8433, 8437, 8438, 8439, 8460, 8461, 8462, 8470, 8480, 8990, // results
    };
    return fields;
}

bool allDigits(const QByteArray& bytes)
{
    return !bytes.isEmpty() &&
           std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool fail(QString* error, int line, const QString& message)
{
    if (error)
        *error = line > 0 ? QString("line %1: %2").arg(line).arg(message) : message;
    return false;
}

struct RawLine {
    int field = 0;
    QByteArray content;
    int line = 0;
};

} // namespace

const GdtLine* GdtRecord::Find(int field) const
{
    for (const GdtLine& l : lines)
        if (l.field == field)
            return &l;
    return nullptr;
}

QString GdtRecord::Value(int field) const
{
    const GdtLine* l = Find(field);
    return l ? l->value : QString();
}

bool ParseGdt(const QByteArray& bytes, GdtRecord& record, QString* error)
{
    if (bytes.isEmpty())
        return fail(error, 0, "the file is empty");
    std::vector<RawLine> raw;
    int pos = 0;
    int lineNumber = 0;
    while (pos < bytes.size()) {
        ++lineNumber;
        const int left = int(bytes.size()) - pos;
        if (left < kLineOverhead)
            return fail(error, lineNumber, "the file ends inside the line (truncated)");
        const QByteArray lengthText = bytes.mid(pos, kLengthDigits);
        if (!allDigits(lengthText))
            return fail(error, lineNumber,
                        "the line does not start with a three-digit length: \"" +
                            QString::fromLatin1(lengthText.toPercentEncoding(" ")) + "\"");
        const int length = lengthText.toInt();
        if (length < kLineOverhead)
            return fail(error, lineNumber, QString("length %1 is shorter than a line").arg(length));
        if (length > left)
            return fail(error, lineNumber,
                        QString("length %1, but only %2 bytes are left (truncated)").arg(length).arg(left));
        if (bytes.at(pos + length - 2) != '\r' || bytes.at(pos + length - 1) != '\n') {
            const int lineEnd = bytes.indexOf("\r\n", pos);
            const QString actual = lineEnd < 0 ? QString("no CR LF follows")
                                               : QString("the line holds %1 bytes").arg(lineEnd + 2 - pos);
            return fail(error, lineNumber, QString("length %1 does not match: %2").arg(length).arg(actual));
        }
        const QByteArray fieldText = bytes.mid(pos + kLengthDigits, kFieldDigits);
        if (!allDigits(fieldText))
            return fail(error, lineNumber, "the field number is not four digits");
        const int field = fieldText.toInt();
        if (!knownFields().contains(field))
            return fail(error, lineNumber, QString("unknown field %1").arg(fieldText.constData()));
        RawLine line;
        line.field = field;
        line.content = bytes.mid(pos + kLengthDigits + kFieldDigits, length - kLineOverhead);
        line.line = lineNumber;
        if (line.content.contains('\r') || line.content.contains('\n'))
            return fail(error, lineNumber, "a line break inside the content");
        raw.push_back(line);
        pos += length;
    }

    if (raw.front().field != GdtField::kRecordType)
        return fail(error, 1, "the record does not start with its type (8000)");
    GdtRecord out;
    out.recordType = QString::fromLatin1(raw.front().content);
    if (out.recordType.size() != 4 || !allDigits(raw.front().content))
        return fail(error, 1, "record type \"" + out.recordType + "\" is not four digits");

    // The version and the set decide how every other line is read.
    // A second one of them could only mean something else than the first.
    out.version.clear();
    int charsetLine = 0, versionLine = 0, lengthLine = 0;
    QString charsetValue;
    for (const RawLine& l : raw) {
        int* first = l.field == GdtField::kVersion        ? &versionLine
                     : l.field == GdtField::kCharset      ? &charsetLine
                     : l.field == GdtField::kRecordLength ? &lengthLine
                                                          : nullptr;
        if (!first)
            continue;
        if (*first > 0)
            return fail(
                error, l.line,
                QString("a second %1 line (the first is line %2)").arg(l.field).arg(*first));
        *first = l.line;
        if (l.field == GdtField::kVersion)
            out.version = QString::fromLatin1(l.content).trimmed();
        if (l.field == GdtField::kCharset)
            charsetValue = QString::fromLatin1(l.content).trimmed();
    }
    if (out.version.isEmpty())
        out.version = kGdtVersion21;
    if (charsetLine > 0) {
        if (!GdtCharsetFromField(charsetValue, out.charset))
            return fail(error, charsetLine,
                        "character set \"" + charsetValue + "\" is none of 1 (7 bit), 2 (IBM 437), 3 (ISO 8859-1)");
    } else {
        out.charset = out.IsVersion30() ? GdtCharset::Latin9 : GdtCharset::Cp437;
    }

    for (std::size_t i = 1; i < raw.size(); ++i) {
        const RawLine& l = raw[i];
        if (l.field == GdtField::kRecordType)
            return fail(error, l.line, "a second record type (8000) in one file");
        if (l.field == GdtField::kRecordLength) {
            const QByteArray digits = l.content.trimmed();
            if (!allDigits(digits))
                return fail(error, l.line, "the record length is not a number");
            if (digits.toLongLong() != bytes.size())
                return fail(error, l.line,
                            QString("record length %1, but the file holds %2 bytes")
                                .arg(digits.constData())
                                .arg(bytes.size()));
            continue;
        }
        if (l.field == GdtField::kCharset || l.field == GdtField::kVersion)
            continue;
        QString value;
        int badAt = 0;
        if (!DecodeGdtText(l.content, out.charset, value, &badAt))
            return fail(error, l.line,
                        QString("field %1: byte 0x%2 at position %3 is no character of %4%5")
                            .arg(l.field)
                            .arg(std::uint8_t(l.content.at(badAt)), 2, 16, QChar('0'))
                            .arg(kLengthDigits + kFieldDigits + badAt + 1)
                            .arg(GdtCharsetName(out.charset),
                                 charsetLine > 0
                                     ? QString(", the set line %1 declares").arg(charsetLine)
                                     : QString(", the set of a file without 9206")));
        out.lines.push_back({l.field, value, l.line});
    }
    record = out;
    return true;
}

bool SerializeGdt(const GdtRecord& record, QByteArray& bytes, QString* error)
{
    std::vector<std::pair<int, QByteArray>> lines;
    auto add = [&](int field, const QString& value) {
        if (value.contains('\r') || value.contains('\n'))
            return fail(error, 0, QString("field %1 holds a line break").arg(field));
        QByteArray content;
        if (!EncodeGdtText(value, record.charset, content))
            return fail(error, 0,
                        QString("field %1 holds a character the file's character set lacks: %2")
                            .arg(field)
                            .arg(value));
        if (content.size() + kLineOverhead > kMaxLineLength)
            return fail(error, 0, QString("field %1 is too long for one line").arg(field));
        lines.emplace_back(field, content);
        return true;
    };
    if (!add(GdtField::kRecordType, record.recordType))
        return false;
    lines.emplace_back(GdtField::kRecordLength, QByteArray()); // filled in below
    if (!add(GdtField::kVersion, record.version))
        return false;
    // ISO 8859-15 is what a 3.0 file without 9206 means; every other set is declared.
    if (record.charset == GdtCharset::Latin9) {
        if (!record.IsVersion30())
            return fail(error, 0, "ISO 8859-15 can only be written as GDT 3.0");
    } else if (!add(GdtField::kCharset, GdtCharsetField(record.charset))) {
        return false;
    }
    for (const GdtLine& l : record.lines)
        if (!add(l.field, l.value))
            return false;

    constexpr int kRecordLengthDigits = 5;
    qint64 total = 0;
    for (const auto& [field, content] : lines)
        total += kLineOverhead + (field == GdtField::kRecordLength ? kRecordLengthDigits
                                                                   : int(content.size()));
    if (total > 99999)
        return fail(error, 0, "the record is longer than 99999 bytes");
    lines[1].second = QByteArray::number(total).rightJustified(kRecordLengthDigits, '0');

    QByteArray out;
    out.reserve(int(total));
    for (const auto& [field, content] : lines) {
        out += QByteArray::number(kLineOverhead + int(content.size())).rightJustified(kLengthDigits, '0');
        out += QByteArray::number(field).rightJustified(kFieldDigits, '0');
        out += content;
        out += "\r\n";
    }
    bytes = out;
    return true;
}
