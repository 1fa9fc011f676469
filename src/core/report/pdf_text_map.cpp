#include "core/report/pdf_text_map.h"

#include "core/report/report_fonts.h"

#include <QFont>
#include <QHash>
#include <QRawFont>
#include <QRegularExpression>
#include <QString>

#include <utility>

namespace {

constexpr char32_t kRadicalsFirst = 0x2E80; // CJK Radicals Supplement, Kangxi Radicals
constexpr char32_t kRadicalsLast = 0x2FDF;
constexpr char32_t kIdeographsFirst = 0x4E00;
constexpr char32_t kIdeographsLast = 0x9FFF;

// Radical -> ideograph drawn by the same glyph, for the report's Chinese face
// in both weights.
QHash<char32_t, char32_t> radicalTable()
{
    QHash<char32_t, char32_t> table;
    const QString family = ReportFontFamilies("Chinese").value(0);
    for (bool bold : {false, true}) {
        QFont font(family);
        font.setBold(bold);
        const QRawFont raw = QRawFont::fromFont(font);
        if (!raw.isValid())
            continue;
        QString ideographs;
        for (char32_t c = kIdeographsFirst; c <= kIdeographsLast; ++c)
            ideographs += QChar(char16_t(c));
        const QList<quint32> glyphs = raw.glyphIndexesForString(ideographs);
        QHash<quint32, char32_t> ideographOf;
        for (int i = 0; i < glyphs.size(); ++i)
            if (glyphs[i] != 0 && !ideographOf.contains(glyphs[i]))
                ideographOf.insert(glyphs[i], kIdeographsFirst + char32_t(i));
        for (char32_t r = kRadicalsFirst; r <= kRadicalsLast; ++r) {
            const QList<quint32> g = raw.glyphIndexesForString(QString(QChar(char16_t(r))));
            if (!g.isEmpty() && g[0] != 0 && ideographOf.contains(g[0]) && !table.contains(r))
                table.insert(r, ideographOf.value(g[0]));
        }
    }
    // Radicals that stand for whole simplified characters, where the face's own
    // map could not be read (Unicode gives them no decomposition).
    static const std::pair<char32_t, char32_t> simplified[] = {
        {0x2E9D, 0x6708}, {0x2EA0, 0x6C11}, {0x2EC4, 0x897F}, {0x2EC5, 0x89C1},
        {0x2EC6, 0x89D2}, {0x2EC9, 0x8D1D}, {0x2ECB, 0x8F66}, {0x2ED3, 0x957F},
        {0x2ED4, 0x95E8}, {0x2ED8, 0x9752}, {0x2ED9, 0x97E6}, {0x2EDA, 0x9875},
        {0x2EDB, 0x98CE}, {0x2EDC, 0x98DE}, {0x2EDD, 0x98DF}, {0x2EE2, 0x9A6C},
        {0x2EE5, 0x9C7C}, {0x2EE6, 0x9E1F}, {0x2EE8, 0x9EA6}, {0x2EE9, 0x9EC4},
        {0x2EEC, 0x9F50}, {0x2EEE, 0x9F7F}, {0x2EF3, 0x9F9F}};
    for (const auto& [radical, ideograph] : simplified)
        if (!table.contains(radical))
            table.insert(radical, ideograph);
    // A face that draws a radical with a glyph of its own: its standard counterpart.
    for (char32_t r = kRadicalsFirst; r <= kRadicalsLast; ++r) {
        const QString d = QChar(char16_t(r)).decomposition();
        if (!table.contains(r) && d.size() == 1)
            table.insert(r, d.at(0).unicode());
    }
    return table;
}

// Replaces, within `line`, the four-digit hex values from `from` on.
void mendValues(QByteArray& line, qsizetype from, const QHash<char32_t, char32_t>& table)
{
    for (qsizetype at = line.indexOf('<', from); at >= 0 && at + 5 < line.size();
         at = line.indexOf('<', at + 1)) {
        if (line[at + 5] != '>')
            continue;
        bool ok = false;
        const char32_t code = char32_t(line.mid(at + 1, 4).toUInt(&ok, 16));
        if (!ok || !table.contains(code))
            continue;
        const QByteArray hex = QByteArray::number(uint(table.value(code)), 16).toUpper();
        if (hex.size() == 4)
            line.replace(at + 1, 4, hex);
    }
}

} // namespace

QByteArray MendPdfTextMap(const QByteArray& pdf)
{
    static const QHash<char32_t, char32_t> table = radicalTable();
    if (table.isEmpty())
        return pdf;
    QByteArray out = pdf;
    // bfrange lines "<first> <last> [<u> <u> ...]" and bfchar lines "<glyph> <u>":
    // only the character side is touched, never a glyph number.
    for (const char* section : {"range", "char"}) {
        const QByteArray begin = QByteArray("beginbf") + section;
        const QByteArray end = QByteArray("endbf") + section;
        for (qsizetype start = out.indexOf(begin); start >= 0;
             start = out.indexOf(begin, start + 1)) {
            const qsizetype stop = out.indexOf(end, start);
            if (stop < 0)
                break;
            qsizetype lineStart = out.indexOf('\n', start) + 1;
            while (lineStart > 0 && lineStart < stop) {
                qsizetype lineEnd = out.indexOf('\n', lineStart);
                if (lineEnd < 0 || lineEnd > stop)
                    lineEnd = stop;
                QByteArray line = out.mid(lineStart, lineEnd - lineStart);
                const qsizetype from =
                    section[0] == 'r' ? line.indexOf('[') : line.indexOf('<', line.indexOf('>'));
                if (from >= 0) {
                    mendValues(line, from, table);
                    out.replace(lineStart, line.size(), line); // same length
                }
                lineStart = lineEnd + 1;
            }
        }
    }
    return out;
}
