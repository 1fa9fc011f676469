#include "core/app/ini_file.h"
#include "support/temp_home.h"
#include "support/watchdog.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

namespace {

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

TEST(IniFileWrite, CreatesMissingFileAndHandlesNoFinalNewlineAndRepeatedKeys)
{
    TempHome home;
    const QString file = home.path("new.ini");
    ASSERT_TRUE(IniFile::WriteInt(file, "SYSTEM", "WAIT", 1));
    EXPECT_EQ(IniFile::ReadInt(file, "SYSTEM", "WAIT", 0), 1);

    home.write("b.ini", "[S]\na=1\na=2\n[T]\nb=2");
    ASSERT_TRUE(IniFile::WriteString(home.path("b.ini"), "S", "A", "9"));
    EXPECT_EQ(home.read("b.ini"), "[S]\nA=9\na=2\n[T]\nb=2");
    ASSERT_TRUE(IniFile::WriteString(home.path("b.ini"), "T", "c", "3"));
    EXPECT_EQ(home.read("b.ini"), "[S]\nA=9\na=2\n[T]\nb=2\nc=3\n");
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
