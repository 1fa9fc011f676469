// Whole-file writes and guarded reads: what is on disk after a failure, a
// race for a name, or something hostile sitting under a file's name.
#include "core/app/app_paths.h"
#include "core/app/durable_file.h"
#include "core/app/ini_file.h"
#include "core/app/regular_file.h"
#include "core/app/system_settings.h"
#include "core/app/text_limit.h"
#include "support/full_disk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <cerrno>

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Every fsync of this test program comes here, so that one can fail the way a
// disk reports a late write error (delayed allocation, network file systems).
std::atomic<bool> g_failFsync{false};
extern "C" int fsync(int fd)
{
    if (g_failFsync) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_fsync, fd));
}

namespace {

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Everything in `folder` but the full-disk filler.
QStringList entries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.removeAll(".filler");
    return names;
}

TEST(DurableFile, RefusesWhatIsNotARegularFile)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("report.pdf");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString fifo = dir.filePath("fifo.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString target = dir.filePath("target.txt");
    put(target, "kept");
    const QString link = dir.filePath("link.txt");
    ASSERT_TRUE(QFile::link(target, link));

    for (const QString& path : {folder, fifo, link}) {
        QString error;
        EXPECT_FALSE(DurableFile::Write(path, "x", &error)) << path.toStdString();
        EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(contentOf(target), "kept");
    EXPECT_EQ(entries(dir.path()).size(), 4);
}

TEST(DurableFile, SettingsLinkedElsewhereAreWrittenWhereTheLinkLeads)
{
    QTemporaryDir dir;
    QDir().mkdir(dir.filePath("etc"));
    const QString real = dir.filePath("etc/System.ini");
    put(real, "[SYSTEM]\nLANGUAGE=Chinese\n");
    const QString link = dir.filePath("System.ini");
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_TRUE(IniFile::WriteString(link, "SYSTEM", "HOSPITAL", "North"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(contentOf(real), "[SYSTEM]\nLANGUAGE=Chinese\nHOSPITAL=North\n");
    // A link to nothing is not turned into a file.
    const QString dangling = dir.filePath("Dangling.ini");
    ASSERT_TRUE(QFile::link(dir.filePath("nowhere/x.ini"), dangling));
    EXPECT_FALSE(IniFile::WriteString(dangling, "SYSTEM", "HOSPITAL", "North"));
    EXPECT_TRUE(QFileInfo(dangling).isSymLink());
}

TEST(DurableFile, FullDiskKeepsTheOldFileAndLeavesNoEmptyOne)
{
    FullDisk disk;
    const QString old = disk.Path("System.ini");
    put(old, "[SYSTEM]\nLANGUAGE=Chinese\n");
    disk.Fill();
    QString error;
    const bool replaced = DurableFile::Write(old, "[SYSTEM]\nLANGUAGE=English\n", &error);
    const DurableFile::Created created = DurableFile::CreateNew(disk.Path("1.dt"), "bytes", &error);
    const bool iniWritten = IniFile::WriteString(old, "SYSTEM", "HOSPITAL", "North");
    disk.Free();

    EXPECT_FALSE(replaced);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(created, DurableFile::Created::Failed);
    EXPECT_FALSE(iniWritten);
    EXPECT_EQ(contentOf(old), "[SYSTEM]\nLANGUAGE=Chinese\n");
    EXPECT_EQ(entries(disk.Path()), QStringList{"System.ini"});

    // The bytes were taken but never reached the disk: no success, the old file stays.
    g_failFsync = true;
    error.clear();
    const bool unsynced = DurableFile::Write(old, "[SYSTEM]\nLANGUAGE=English\n", &error);
    g_failFsync = false;
    EXPECT_FALSE(unsynced);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(contentOf(old), "[SYSTEM]\nLANGUAGE=Chinese\n");
    EXPECT_EQ(entries(disk.Path()), QStringList{"System.ini"});
}

TEST(DurableFile, OfWritersRacingForOneNameExactlyOneGetsIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("7.dt");
    constexpr int kWriters = 8;
    std::atomic<int> ready{0};
    std::vector<DurableFile::Created> outcomes(kWriters);
    std::vector<std::thread> writers;
    for (int i = 0; i < kWriters; ++i) {
        writers.emplace_back([&, i] {
            ++ready;
            while (ready < kWriters) {
            }
            outcomes[i] = DurableFile::CreateNew(path, QByteArray(20000, char('a' + i)));
        });
    }
    for (std::thread& t : writers)
        t.join();
    int winner = -1, winners = 0;
    for (int i = 0; i < kWriters; ++i) {
        EXPECT_NE(outcomes[i], DurableFile::Created::Failed);
        if (outcomes[i] == DurableFile::Created::Yes) {
            winner = i;
            ++winners;
        }
    }
    ASSERT_EQ(winners, 1);
    EXPECT_EQ(contentOf(path), QByteArray(20000, char('a' + winner))); // whole, never mixed
    EXPECT_EQ(entries(dir.path()), QStringList{"7.dt"});
    // A later writer finds the name taken and the file untouched.
    EXPECT_EQ(DurableFile::CreateNew(path, "late"), DurableFile::Created::NameTaken);
    EXPECT_EQ(contentOf(path).size(), 20000);
}

// New files hold patient data: their owner alone reads them, whatever the
// umask; a replaced file keeps its permissions, and no temporary is left. Of
// the hidden files writes leave, only those no live writer holds count as abandoned.
TEST(DurableFile, NewFilesAreTheOwnersAndOnlyDeadWritersLeaveAbandonedFiles)
{
    QTemporaryDir dir;
    const auto mode = [&](const char* name) {
        struct stat info {};
        EXPECT_EQ(::stat(QFile::encodeName(dir.filePath(name)).constData(), &info), 0);
        return info.st_mode & 0777;
    };
    const mode_t umaskBefore = ::umask(0);
    QString error;
    const bool written = DurableFile::Write(dir.filePath("5.dt"), "bytes", &error);
    ::umask(umaskBefore);
    ASSERT_TRUE(written) << error.toStdString();
    EXPECT_EQ(mode("5.dt"), 0600u);
    put(dir.filePath("System.ini"), "old");
    ASSERT_EQ(::chmod(QFile::encodeName(dir.filePath("System.ini")).constData(), 0640), 0);
    ASSERT_TRUE(DurableFile::Write(dir.filePath("System.ini"), "new content", &error));
    EXPECT_EQ(contentOf(dir.filePath("System.ini")), "new content");
    EXPECT_EQ(mode("System.ini"), 0640u);
    EXPECT_EQ(entries(dir.path()), (QStringList{"5.dt", "System.ini"}));

    const QString dead = QString(".6.dt.k3x") + DurableFile::kTemporarySuffix;
    const QString live = QString(".7.dt.q9z") + DurableFile::kTemporarySuffix;
    put(dir.filePath(dead), "half");
    put(dir.filePath(live), "being written");
    put(dir.filePath(".hidden.ini"), "not ours");
    const int fd = ::open(QFile::encodeName(dir.filePath(live)).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0); // a writer still at work
    EXPECT_EQ(DurableFile::AbandonedTemporaries(dir.path()), QStringList{dead});
    ::close(fd);
    EXPECT_EQ(DurableFile::AbandonedTemporaries(dir.path()).size(), 2);
}

TEST(RegularFile, RefusesSpecialFilesAtOnceAndFilesBeyondTheLimit)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("1.dt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray bytes;
    QString error;
    // Opening a FIFO without a writer would block for ever.
    EXPECT_EQ(RegularFile::Read(fifo, 1000, bytes, &error), RegularFile::Status::NotRegular);
    EXPECT_TRUE(error.contains("not a regular file"));
    EXPECT_EQ(RegularFile::Read("/dev/zero", 1000, bytes), RegularFile::Status::NotRegular);
    EXPECT_EQ(RegularFile::Read(dir.path(), 1000, bytes), RegularFile::Status::NotRegular);
    EXPECT_EQ(RegularFile::Read(dir.filePath("none"), 1000, bytes), RegularFile::Status::Missing);

    const QString big = dir.filePath("big");
    put(big, QByteArray(1001, 'b'));
    EXPECT_EQ(RegularFile::Read(big, 1000, bytes, &error), RegularFile::Status::TooLarge);
    EXPECT_TRUE(bytes.isEmpty());
    EXPECT_TRUE(error.contains("1000"));
    EXPECT_EQ(RegularFile::Read(big, 1000, bytes, nullptr, true), RegularFile::Status::Read);
    EXPECT_EQ(bytes, QByteArray(1000, 'b'));
    EXPECT_EQ(RegularFile::Read(big, 1001, bytes), RegularFile::Status::Read);
    EXPECT_EQ(bytes.size(), 1001);
}

// Special and oversize files: see IniFileRefused in ini_file_test.cpp.
TEST(IniFileReads, EditsAreSeenAtOnce)
{
    QTemporaryDir dir;
    // Rewritten in place, same size, within the same clock tick: still seen.
    const QString path = dir.filePath("lang.txt");
    for (const char* value : {"1", "2", "3", "4"}) {
        put(path, QByteArray("[A]\nk=") + value + "\n");
        EXPECT_EQ(IniFile::ReadString(path, "A", "k", QString(), 99), value);
    }
    QFile::remove(path);
    EXPECT_EQ(IniFile::ReadString(path, "A", "k", "gone", 99), "gone");
}

TEST(TextLimit, CountsCharactersAndNeverHalvesOne)
{
    // U+1F600 and U+20000 lie outside the basic plane: two UTF-16 units each.
    const QString text = QString::fromUtf8("a\xF0\x9F\x98\x80" "b\xF0\xA0\x80\x80");
    EXPECT_EQ(text.size(), 6);
    EXPECT_EQ(TextLimit::Length(text), 4);
    EXPECT_EQ(TextLimit::Left(text, 1), "a");
    EXPECT_EQ(TextLimit::Left(text, 2), QString::fromUtf8("a\xF0\x9F\x98\x80"));
    EXPECT_EQ(TextLimit::Left(text, 3), QString::fromUtf8("a\xF0\x9F\x98\x80" "b"));
    EXPECT_EQ(TextLimit::Left(text, 9), text);
    EXPECT_EQ(TextLimit::Left(text, 0), QString());
    // A lone surrogate (damaged text) counts as one character.
    const QString lone = QString(QChar(0xD800)) + "x";
    EXPECT_EQ(TextLimit::Length(lone), 2);
    EXPECT_EQ(TextLimit::Left(lone, 1).size(), 1);

    // The INI reader cuts values the same way.
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ini");
    put(path, QByteArray("[S]\nk=") + text.toUtf8() + "\n");
    EXPECT_EQ(IniFile::ReadString(path, "S", "k", QString(), 2), TextLimit::Left(text, 2));
}

} // namespace
