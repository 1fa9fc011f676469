#pragma once
// Comma-separated values as RFC 4180 has them: fields with a comma, a quote or
// a line break are quoted, quotes doubled, records end in CR LF. Text is UTF-8;
// a file starts with a byte-order mark so that spreadsheet programs take it as UTF-8.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// One record, ending in CR LF.
QByteArray CsvRecord(const QStringList& fields);
QByteArray CsvByteOrderMark();

// A field a spreadsheet would run as a formula (=, +, -, @ first) gets a
// leading apostrophe; TextFromCsv takes it off again.
QString CsvText(const QString& text);
QString TextFromCsv(const QString& field);

struct CsvRows {
    std::vector<QStringList> rows; // the header is rows[0]
    std::vector<int> lines;        // line of the file each row starts on (1 first)
};

// Splits a whole file (UTF-8, with or without a byte-order mark; CR LF or LF).
// False with the line at fault for a quote that is never closed, text after a
// closing quote, or bytes that are not UTF-8.
bool ParseCsv(const QByteArray& bytes, CsvRows& out, QString* error = nullptr);
