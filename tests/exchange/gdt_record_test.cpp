// The GDT line format: lengths, record length, character sets, and the refusal
// of malformed files with the line at fault.
#include "core/exchange/cp437_codec.h"
#include "core/exchange/gdt_record.h"

#include <QList>

#include <gtest/gtest.h>

#include <iconv.h>

namespace {

// A line as the format defines it, built here by hand: length of the whole line first.
QByteArray line(const char* field, const QByteArray& content)
{
    const int length = 3 + 4 + int(content.size()) + 2;
    return QByteArray::number(length).rightJustified(3, '0') + field + content + "\r\n";
}

// The lines of a request, then 8100 set to the file's real size.
QByteArray request(const QList<QByteArray>& lines, bool withLength = true)
{
    QByteArray body;
    for (const QByteArray& l : lines)
        body += l;
    QByteArray head = line("8000", "6302");
    if (!withLength)
        return head + body;
    const int total = int(head.size() + 14 + body.size());
    return head + line("8100", QByteArray::number(total).rightJustified(5, '0')) + body;
}

QByteArray iconvTo(const char* to, const char* from, const QByteArray& in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return QByteArray();
    QByteArray out(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.constData());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == size_t(-1))
        return QByteArray();
    out.resize(out.size() - int(dstLeft));
    return out;
}

QString parseError(const QByteArray& bytes)
{
    GdtRecord record;
    QString error;
    EXPECT_FALSE(ParseGdt(bytes, record, &error));
    return error;
}

} // namespace

TEST(GdtCharsetTest, CodePage437MatchesTheSystemConverterForEveryByte)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QByteArray utf8 = iconvTo("UTF-8", "IBM437", all);
    if (utf8.isEmpty())
        GTEST_SKIP() << "the C library has no IBM437 converter";
    // Control bytes aside (iconv maps them to themselves too), every byte must agree.
    EXPECT_EQ(Cp437::Decode(all), QString::fromUtf8(utf8));
    QByteArray back;
    ASSERT_TRUE(Cp437::Encode(QString::fromUtf8(utf8), back));
    EXPECT_EQ(back, all);
}

TEST(GdtCharsetTest, GermanNamesInEachSetAndRefusalsOfWhatASetLacks)
{
    const QString name = QString::fromUtf8("Müller-Lüdenscheidt Jürgen Straße");
    QByteArray cp437, latin1, ascii;
    ASSERT_TRUE(EncodeGdtText(name, GdtCharset::Cp437, cp437));
    EXPECT_EQ(cp437, iconvTo("IBM437", "UTF-8", name.toUtf8()));
    EXPECT_TRUE(cp437.contains('\x81')); // ü in code page 437
    EXPECT_TRUE(cp437.contains('\xE1')); // ß
    ASSERT_TRUE(EncodeGdtText(name, GdtCharset::Latin1, latin1));
    EXPECT_TRUE(latin1.contains('\xFC'));
    EXPECT_FALSE(EncodeGdtText(name, GdtCharset::Ascii7, ascii));
    QByteArray none;
    EXPECT_FALSE(EncodeGdtText(QString::fromUtf8("王芳"), GdtCharset::Cp437, none));
    EXPECT_FALSE(EncodeGdtText(QString::fromUtf8("€"), GdtCharset::Latin1, none));
    QByteArray euro;
    ASSERT_TRUE(EncodeGdtText(QString::fromUtf8("€ Œ"), GdtCharset::Latin9, euro));
    EXPECT_EQ(euro, QByteArray("\xA4 \xBC"));
    // ISO 8859-15 gave up ¤ for €: it cannot be written there.
    EXPECT_FALSE(EncodeGdtText(QString::fromUtf8("¤"), GdtCharset::Latin9, none));
}

TEST(GdtRecordTest, WrittenLinesCountTheirOwnBytesAndTheRecordLengthIsTheFileSize)
{
    GdtRecord record;
    record.recordType = "6310";
    record.charset = GdtCharset::Cp437;
    record.Add(GdtField::kPatientNumber, "4711");
    record.Add(GdtField::kSurname, QString::fromUtf8("Müller"));
    record.Add(GdtField::kResultValue, "3.65");
    record.Add(GdtField::kFindings, QString(300, 'x'));
    QByteArray bytes;
    QString error;
    ASSERT_TRUE(SerializeGdt(record, bytes, &error)) << error.toStdString();

    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_TRUE(lines.back().isEmpty()); // the file ends with CR LF
    qint64 total = 0;
    for (int i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray l = lines[i] + '\n';
        ASSERT_TRUE(l.endsWith("\r\n"));
        EXPECT_EQ(l.left(3).toInt(), l.size()) << l.constData();
        total += l.size();
    }
    EXPECT_EQ(total, bytes.size());
    EXPECT_TRUE(bytes.startsWith("01380006310\r\n0148100" +
                                 QByteArray::number(bytes.size()).rightJustified(5, '0') + "\r\n"));
    EXPECT_TRUE(bytes.contains("0153101M\x81ller\r\n"));
    EXPECT_TRUE(bytes.contains("01092062\r\n"));

    GdtRecord back;
    ASSERT_TRUE(ParseGdt(bytes, back, &error)) << error.toStdString();
    EXPECT_EQ(back.recordType, "6310");
    EXPECT_EQ(back.Value(GdtField::kSurname), QString::fromUtf8("Müller"));
    EXPECT_EQ(back.Value(GdtField::kFindings).size(), 300);
    EXPECT_EQ(back.Find(GdtField::kSurname)->line, 6);
}

TEST(GdtRecordTest, WriterRefusesLineBreaksMissingCharactersAndOverlongLines)
{
    GdtRecord record;
    record.recordType = "6310";
    record.charset = GdtCharset::Ascii7;
    QByteArray bytes;
    QString error;
    record.Add(GdtField::kFindings, "two\r\nlines");
    EXPECT_FALSE(SerializeGdt(record, bytes, &error));
    record.lines.clear();
    record.Add(GdtField::kSurname, QString::fromUtf8("Jürgen"));
    EXPECT_FALSE(SerializeGdt(record, bytes, &error));
    EXPECT_TRUE(error.contains("3101"));
    record.lines.clear();
    record.Add(GdtField::kFindings, QString(991, 'x')); // 1000 bytes with the head and CR LF
    EXPECT_FALSE(SerializeGdt(record, bytes, &error));
    record.lines.back().value.chop(1);
    EXPECT_TRUE(SerializeGdt(record, bytes, &error)) << error.toStdString();
}

TEST(GdtRecordTest, ReaderTakesTheDeclaredSetAndTheDefaultsOfBothVersions)
{
    GdtRecord record;
    QString error;
    // 9206 = 3: ISO 8859-1.
    ASSERT_TRUE(ParseGdt(request({line("9206", "3"), line("3101", "M\xFCller")}), record, &error))
        << error.toStdString();
    EXPECT_EQ(record.Value(3101), QString::fromUtf8("Müller"));
    // No 9206 in a 2.1 file: IBM 437.
    ASSERT_TRUE(ParseGdt(request({line("9218", "02.10"), line("3101", "M\x81ller")}), record, &error));
    EXPECT_EQ(record.Value(3101), QString::fromUtf8("Müller"));
    // A 3.0 file: ISO 8859-15, where 0xA4 is the euro sign.
    ASSERT_TRUE(ParseGdt(request({line("9218", "03.00"), line("6220", "5 \xA4")}), record, &error));
    EXPECT_TRUE(record.IsVersion30());
    EXPECT_EQ(record.Value(6220), QString::fromUtf8("5 €"));
    // 8100 is optional.
    EXPECT_TRUE(ParseGdt(request({line("3000", "1")}, false), record, &error)) << error.toStdString();
}

TEST(GdtRecordTest, MalformedFilesAreRefusedNamingTheLine)
{
    const QByteArray good = request({line("9206", "2"), line("3000", "4711"), line("3101", "Meier")});
    GdtRecord record;
    ASSERT_TRUE(ParseGdt(good, record));

    // A length one too large on line 4 ("3000").
    QByteArray wrongLength = good;
    const int at = wrongLength.indexOf("0133000");
    wrongLength.replace(at, 3, "014");
    EXPECT_TRUE(parseError(wrongLength).startsWith("line 4:")) << parseError(wrongLength).toStdString();

    // Cut inside the last line, once with 8100 and once without it.
    EXPECT_TRUE(parseError(good.left(good.size() - 3)).startsWith("line 5:"));
    const QByteArray noLength = request({line("3000", "4711"), line("3101", "Meier")}, false);
    EXPECT_TRUE(parseError(noLength.left(noLength.size() - 1)).startsWith("line 3:"));

    // A whole line missing at the end: the lines are fine, the record length is not.
    const QByteArray lostLine = good.left(good.size() - line("3101", "Meier").size());
    EXPECT_TRUE(parseError(lostLine).startsWith("line 2:")) << parseError(lostLine).toStdString();

    EXPECT_TRUE(parseError(request({line("9206", "2"), line("7777", "x")})).startsWith("line 4: unknown field 7777"));
    EXPECT_TRUE(parseError(request({line("9206", "7")})).startsWith("line 3:"));
    EXPECT_TRUE(parseError(request({line("9206", "1"), line("3101", "M\xFCller")})).startsWith("line 4:"));
    EXPECT_TRUE(parseError(request({line("8000", "6301")})).startsWith("line 3:"));
    EXPECT_TRUE(parseError(request({line("3000", "1")}) + "x").startsWith("line 4:"));
    EXPECT_TRUE(parseError("01x8000" "6302\r\n").startsWith("line 1:"));
    EXPECT_TRUE(parseError("0018000" "6302\r\n").startsWith("line 1: length 1 is shorter than a line"));
    EXPECT_TRUE(parseError(line("3000", "1") + line("8000", "6302")).startsWith("line 1:"));
    EXPECT_TRUE(parseError(QByteArray("0138000630\n\r\n")).startsWith("line 1:"));
    // The length is right, the line does not end in CR LF.
    const QByteArray noCarriageReturn = QByteArray(good).replace("01330004711\r\n", "01330004711x\n");
    EXPECT_TRUE(parseError(noCarriageReturn).startsWith("line 4:"));
    EXPECT_FALSE(parseError(QByteArray()).isEmpty());
    // Unix line ends in place of CR LF.
    QByteArray unixEnds = good;
    unixEnds.replace("\r\n", "\n");
    EXPECT_TRUE(parseError(unixEnds).startsWith("line 1:"));
}

TEST(GdtRecordTest, BytesOutsideTheDeclaredSetAndRepeatedHeaderLinesRefuseTheFile)
{
    // IBM 437 umlauts (ü 0x81, ä 0x84) sit where the ISO sets have control codes.
    const QByteArray cp437Name = "M\x81ller-H\x84"
                                 "berle";
    GdtRecord record;
    ASSERT_TRUE(ParseGdt(request({line("9206", "2"), line("3101", cp437Name)}), record));
    EXPECT_EQ(record.Value(3101), QString::fromUtf8("Müller-Häberle"));
    const QString latin1 = parseError(request({line("9206", "3"), line("3101", cp437Name)}));
    EXPECT_TRUE(latin1.startsWith(
        "line 4: field 3101: byte 0x81 at position 9 is no character of ISO 8859-1"))
        << latin1.toStdString();
    const QString latin9 = parseError(request({line("9218", "03.00"), line("3101", cp437Name)}));
    EXPECT_TRUE(latin9.startsWith("line 4:") && latin9.contains("ISO 8859-15"))
        << latin9.toStdString();
    // Control bytes are text in no set.
    for (const char* set : {"1", "2", "3"})
        for (const QByteArray& name :
             {QByteArray("Mei\0er", 6), QByteArray("Mei\x1B[2J"), QByteArray("Mei\x7F")})
            EXPECT_TRUE(
                parseError(request({line("9206", set), line("3101", name)})).startsWith("line 4:"))
                << set;
    // Of two sets, versions or lengths neither is taken.
    EXPECT_TRUE(parseError(request({line("9206", "2"), line("3000", "1"), line("9206", "3")}))
                    .startsWith("line 5: a second 9206 line (the first is line 3)"));
    EXPECT_TRUE(parseError(request({line("9218", "02.10"), line("9218", "02.10")}))
                    .startsWith("line 4: a second 9218"));
    const QByteArray once = request({line("3000", "1")});
    const QByteArray lengthLine = once.mid(13, 14);
    EXPECT_TRUE(
        parseError(once.left(27) + lengthLine + once.mid(27)).startsWith("line 3: a second 8100"));
}
