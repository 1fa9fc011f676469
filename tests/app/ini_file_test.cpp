#include "core/app/ini_file.h"
#include "support/temp_home.h"
#include "support/watchdog.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

namespace {

TEST(IniFileRead, NamesCompareWithoutCaseAndFirstKeyWins)
{
    TempHome home;
    home.write("a.ini", "[system]\r\nLanguage=First\r\nLANGUAGE=Second\r\n[Other]\r\nkey=x\r\n");
    const QString file = home.path("a.ini");
    EXPECT_EQ(IniFile::ReadString(file, "SYSTEM", "language", "d", 99), "First");
    EXPECT_EQ(IniFile::ReadString(file, "other", "KEY", "d", 99), "x");
    EXPECT_EQ(IniFile::ReadString(file, "SYSTEM", "key", "d", 99), "d"); // key of another section
    EXPECT_EQ(IniFile::ReadString(file, "missing", "key", "d", 99), "d");
    EXPECT_EQ(IniFile::ReadString(home.path("none.ini"), "SYSTEM", "language", "d", 99), "d");
}

TEST(IniFileRead, SpacesQuotesMissingFinalNewlineAndLength)
{
    TempHome home;
    home.write("a.ini", "; comment\n[ SYSTEM ]\n  my key  =  two words  \nQ=\"quoted\"\nlast=1234567");
    const QString file = home.path("a.ini");
    EXPECT_EQ(IniFile::ReadString(file, "SYSTEM", "my key", "", 99), "two words");
    EXPECT_EQ(IniFile::ReadString(file, "SYSTEM", "q", "", 99), "quoted");
    EXPECT_EQ(IniFile::ReadString(file, "SYSTEM", "last", "", 3), "123");
    EXPECT_EQ(IniFile::ReadInt(file, "SYSTEM", "last", 0), 1234567);
}

TEST(IniFileRead, IntegersParseLikeTheProfileCall)
{
    TempHome home;
    home.write("a.ini", "[S]\nneg=-12\nword=abc\nmixed=42px\nempty=\n");
    const QString file = home.path("a.ini");
    EXPECT_EQ(IniFile::ReadInt(file, "S", "neg", 7), -12);
    EXPECT_EQ(IniFile::ReadInt(file, "S", "word", 7), 0);
    EXPECT_EQ(IniFile::ReadInt(file, "S", "mixed", 7), 42);
    EXPECT_EQ(IniFile::ReadInt(file, "S", "empty", 7), 0);
    EXPECT_EQ(IniFile::ReadInt(file, "S", "absent", 7), 7);
}

TEST(IniFileWrite, KeepsEveryOtherLineAndLineEndings)
{
    TempHome home;
    const QByteArray before = "; settings\r\n[SYSTEM]\r\nLANGUAGE=English\r\n\r\n; colours\r\n"
                              "FVCCOLOR=255\r\n[Extra]\r\nkeep=me\r\n";
    home.write("a.ini", before);
    const QString file = home.path("a.ini");
    ASSERT_TRUE(IniFile::WriteString(file, "system", "language", "Chinese"));
    QByteArray expected = before;
    expected.replace("LANGUAGE=English", "language=Chinese");
    EXPECT_EQ(home.read("a.ini"), expected);

    ASSERT_TRUE(IniFile::WriteInt(file, "SYSTEM", "BTPS", 0));
    expected.replace("FVCCOLOR=255\r\n", "FVCCOLOR=255\r\nBTPS=0\r\n");
    EXPECT_EQ(home.read("a.ini"), expected);

    ASSERT_TRUE(IniFile::WriteString(file, "New", "k", "v"));
    EXPECT_EQ(home.read("a.ini"), expected + "[New]\r\nk=v\r\n");
}

TEST(IniFileWrite, CreatesMissingFileAndHandlesNoFinalNewline)
{
    TempHome home;
    const QString file = home.path("new.ini");
    ASSERT_TRUE(IniFile::WriteInt(file, "SYSTEM", "WAIT", 1));
    EXPECT_EQ(IniFile::ReadInt(file, "SYSTEM", "WAIT", 0), 1);

    home.write("b.ini", "[S]\na=1\n[T]\nb=2");
    ASSERT_TRUE(IniFile::WriteString(home.path("b.ini"), "S", "a", "9"));
    EXPECT_EQ(home.read("b.ini"), "[S]\na=9\n[T]\nb=2");
    ASSERT_TRUE(IniFile::WriteString(home.path("b.ini"), "T", "c", "3"));
    EXPECT_EQ(home.read("b.ini"), "[S]\na=9\n[T]\nb=2\nc=3\n");
    EXPECT_FALSE(QFile::exists(home.path("b.ini") + ".tmp"));
}

TEST(IniFileWrite, DuplicateKeysChangeOnlyTheFirst)
{
    TempHome home;
    home.write("a.ini", "[S]\nk=1\nk=2\n");
    ASSERT_TRUE(IniFile::WriteString(home.path("a.ini"), "S", "K", "3"));
    EXPECT_EQ(home.read("a.ini"), "[S]\nK=3\nk=2\n");
}

} // namespace

// A file is read whole or refused: never cut at the limit, and never replaced
// by a write that did not read it.
namespace {

// A settings file of exactly `size` bytes whose last line is LAST=1.
QByteArray fileOfSize(qint64 size)
{
    QByteArray bytes = "[SYSTEM]\nDATABASE=postgresql://server/tav\n";
    const QByteArray last = "LAST=1\n";
    while (bytes.size() + last.size() < size) {
        const qint64 room = size - bytes.size() - last.size();
        const qint64 width = std::min<qint64>(room, 80);
        // A comment line: ';' and at least a newline; a single byte left becomes a blank line.
        bytes += width == 1 ? QByteArray("\n") : ';' + QByteArray(width - 2, 'x') + '\n';
    }
    return bytes + last;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

} // namespace

TEST(IniFileRefused, AFileAtTheLimitIsReadWholeAndOneByteMoreIsRefusedAndKept)
{
    TempHome home;
    const QString path = home.path("System.ini");
    home.write("System.ini", fileOfSize(IniFile::kMaxFileSize));
    ASSERT_EQ(QFileInfo(path).size(), IniFile::kMaxFileSize);
    EXPECT_EQ(IniFile::ReadString(path, "system", "last", "-", 9), "1");
    EXPECT_EQ(IniFile::ReadInt(path, "SYSTEM", "LAST", 7), 1);
    EXPECT_TRUE(IniFile::ReadError(path).isEmpty());
    // A write that would push it past the limit is refused, the file untouched.
    const QByteArray atLimit = fileBytes(path);
    QString error;
    EXPECT_FALSE(IniFile::WriteString(path, "SYSTEM", "HOSPITAL", "St. Mary's", &error));
    EXPECT_TRUE(error.contains("HOSPITAL")) << error.toStdString();
    EXPECT_EQ(fileBytes(path), atLimit);

    home.write("System.ini", fileOfSize(IniFile::kMaxFileSize + 1));
    const QByteArray over = fileBytes(path);
    EXPECT_EQ(IniFile::ReadString(path, "SYSTEM", "DATABASE", "none", 99), "none");
    EXPECT_EQ(IniFile::ReadInt(path, "SYSTEM", "LAST", 7), 7);
    EXPECT_FALSE(IniFile::HasKey(path, "SYSTEM", "LAST"));
    EXPECT_TRUE(IniFile::ReadError(path).contains("larger than")) << IniFile::ReadError(path).toStdString();
    error.clear();
    EXPECT_FALSE(IniFile::WriteInt(path, "SYSTEM", "WAIT", 1, &error));
    EXPECT_TRUE(error.contains("larger than") && error.contains("WAIT")) << error.toStdString();
    EXPECT_EQ(fileBytes(path), over);
    EXPECT_FALSE(IniFile::EnsureExists(path) && IniFile::WriteInt(path, "SYSTEM", "WAIT", 1));
    EXPECT_EQ(fileBytes(path), over);
}

TEST(IniFileRefused, FifoAndDeviceBehindALinkReadAsMissingAndAreNeverReplaced)
{
    TempHome home;
    const QString fifo = home.path("fifo.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = home.path("zero.ini");
    ASSERT_TRUE(QFile::link("/dev/zero", link));
    for (const QString& path : {fifo, link}) {
        Watchdog watchdog("reading and writing " + path.toStdString());
        EXPECT_EQ(IniFile::ReadString(path, "SYSTEM", "LANGUAGE", "English", 99), "English");
        EXPECT_FALSE(IniFile::HasKey(path, "SYSTEM", "LANGUAGE"));
        EXPECT_TRUE(IniFile::ReadError(path).contains("not a regular file"));
        QString error;
        EXPECT_FALSE(IniFile::WriteString(path, "SYSTEM", "LANGUAGE", "Chinese", &error));
        EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
    }
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), "/dev/zero");
    // A missing file is no refusal: it reads as empty and the first write creates it.
    const QString missing = home.path("new.ini");
    EXPECT_TRUE(IniFile::ReadError(missing).isEmpty());
    EXPECT_TRUE(IniFile::WriteString(missing, "SYSTEM", "LANGUAGE", "Chinese"));
    EXPECT_EQ(IniFile::ReadString(missing, "SYSTEM", "LANGUAGE", "English", 99), "Chinese");
}
