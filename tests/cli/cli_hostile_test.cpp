// tavctl against hostile files: special files, oversized files, export
// targets that are links, FIFOs, devices or on a full disk, imports of GDT
// requests and patient tables from such files. (Hostile names and language
// names are cases of cases/.)
#include "core/exchange/csv_patient_import.h"
#include "core/exchange/gdt_exchange.h"
#include "support/full_disk.h"
#include "support/run_tool.h"
#include "support/temp_home.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Short enough that a hang shows as a failure, long enough for a loaded machine.
constexpr int kPatienceMs = 30000;

TEST(TavctlAnalyze, SpecialAndOversizedFilesAreRefusedWithAMessage)
{
    TempHome home;
    const QString fifo = home.path("1.dt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A sparse 100 MB file costs no disk.
    const QString huge = home.path("2.dt");
    home.write("2.dt", "TAVW");
    ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), 100LL << 20), 0);
    const std::pair<QString, const char*> cases[] = {
        {fifo, "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {huge, "larger than"},
        {home.path("3.dt"), "does not exist"},
    };
    for (const auto& [path, message] : cases) {
        const ToolResult result = RunTool(TAVCTL_PATH, {"analyze", path}, {}, kPatienceMs);
        EXPECT_EQ(result.exitCode, 2) << path.toStdString(); // -1: it hung or crashed
        EXPECT_TRUE(result.err.contains(message)) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty());
    }
}

ToolResult exportTo(const TempHome& home, const QString& out)
{
    return RunTool(
        TAVCTL_PATH,
        {"--home", home.path(), "db", "export", "--patient", "1", "--name", "1.dt", "--out", out},
        {}, kPatienceMs);
}

TEST(TavctlDbExport, NeverWritesThroughALinkOrFifoAndAFullDiskKeepsTheOldFile)
{
    TempHome home;
    const QByteArray bytes = "TAVW" + QByteArray(8192, 'x');
    home.write("Case/1/1.dt", bytes);
    const QString fifo = home.path("fifo.dt"), link = home.path("link.dt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    home.write("victim.conf", "keep me");
    ASSERT_TRUE(QFile::link(home.path("victim.conf"), link));
    for (const QString& out : {fifo, link}) {
        const ToolResult result = exportTo(home, out);
        EXPECT_EQ(result.exitCode, 1) << result.err.toStdString(); // -1: it hung
        EXPECT_TRUE(result.err.contains("not a regular file")) << result.err.toStdString();
    }
    struct stat st {};
    EXPECT_TRUE(::lstat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), home.path("victim.conf"));
    EXPECT_EQ(home.read("victim.conf"), "keep me");

    FullDisk disk;
    const QString out = disk.Path("export.dt");
    QFile old(out);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("the previous export") > 0);
    old.close();
    disk.Fill();
    const ToolResult full = exportTo(home, out);
    disk.Free();
    EXPECT_GT(full.exitCode, 0) << full.err.toStdString();
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "the previous export");
    EXPECT_EQ(QDir(disk.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"export.dt"});
    old.close();
    // With room again the export replaces it whole.
    ASSERT_EQ(exportTo(home, out).exitCode, 0);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), bytes);
}

TEST(TavctlTest, AWriteLockOfAnotherProgramIsNeverReportedAsSaved)
{
    TempHome home;
    home.write("System.ini", "[SYSTEM]\nSIMULATOR=1\n");
    ToolResult result = RunTool(TAVCTL_PATH, {"--home", home.path(), "patient", "add", "--name",
                                              "Lock Test", "--gender", "0", "--birth",
                                              "1980-01-01", "--height", "175", "--weight", "70"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList test = {"--home", home.path(), "test", "--patient", "1", "--type", "fvc"};
    {
        // Another workstation's program holds the write lock for the whole run.
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-workstation");
        other.setDatabaseName(home.path("data.mdb"));
        ASSERT_TRUE(other.open());
        QSqlQuery lock(other);
        ASSERT_TRUE(lock.exec("BEGIN IMMEDIATE"));
        result = RunTool(TAVCTL_PATH, test, {}, 120000);
        lock.exec("ROLLBACK");
        other.close();
    }
    QSqlDatabase::removeDatabase("other-workstation");
    EXPECT_EQ(result.exitCode, 1) << result.out.toStdString();
    const QJsonObject locked = QJsonDocument::fromJson(result.out).object();
    EXPECT_EQ(locked["outcome"].toString(), "not-recorded");
    EXPECT_TRUE(QDir(home.path("Case/1")).entryList(QDir::Files).isEmpty());

    // Without the lock the same command saves file and row.
    result = RunTool(TAVCTL_PATH, test, {}, 120000);
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonObject saved = QJsonDocument::fromJson(result.out).object();
    EXPECT_EQ(saved["outcome"].toString(), "saved");
    QStringList stored;
    for (const QJsonValue& kept : saved["stored"].toArray())
        stored << kept.toObject()["file"].toString();
    EXPECT_EQ(stored.size(), 3);
    EXPECT_EQ(QDir(home.path("Case/1")).entryList(QDir::Files, QDir::Name), stored);
    {
        QSqlDatabase check = QSqlDatabase::addDatabase("QSQLITE", "check");
        check.setDatabaseName(home.path("data.mdb"));
        ASSERT_TRUE(check.open());
        QSqlQuery rows(check);
        ASSERT_TRUE(rows.exec("SELECT DataName FROM CaseInfo ORDER BY Maneuver"));
        QStringList names;
        while (rows.next())
            names << rows.value(0).toString();
        EXPECT_EQ(names, stored);
    }
    QSqlDatabase::removeDatabase("check");
}

} // namespace

namespace {

// A FIFO, /dev/zero, a link to it and a file one byte over the limit, each
// given to an import: refused with `message`, nothing stored, never a hang.
qsizetype patientCount(const TempHome& home)
{
    const ToolResult list = RunTool(TAVCTL_PATH, {"--home", home.path(), "patient", "list", "--json"}, {}, kPatienceMs);
    EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
    return QJsonDocument::fromJson(list.out).array().size();
}

void expectImportsRefused(const QStringList& command, qint64 limit)
{
    TempHome home;
    const qsizetype before = patientCount(home);
    const QString fifo = home.path("in.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = home.path("zero.link");
    ASSERT_TRUE(QFile::link("/dev/zero", link));
    // A sparse file costs no disk.
    const QString huge = home.path("huge.file");
    home.write("huge.file", "8000");
    ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), limit + 1), 0);
    const std::pair<QString, const char*> cases[] = {
        {fifo, "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {link, "not a regular file"},
        {huge, "larger than"},
        {home.path("none.file"), "does not exist"},
    };
    for (const auto& [path, message] : cases) {
        const ToolResult result =
            RunTool(TAVCTL_PATH, QStringList{"--home", home.path()} + command + QStringList{path}, {}, kPatienceMs);
        EXPECT_GT(result.exitCode, 0) << path.toStdString(); // -1: it hung or crashed
        EXPECT_TRUE(result.err.contains(message)) << path.toStdString() << ": " << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
    }
    EXPECT_EQ(patientCount(home), before);
}

} // namespace

TEST(TavctlImport, GdtRequestsAndPatientTablesOnlyFromRegularFilesWithinTheirLimit)
{
    expectImportsRefused({"gdt", "import"}, kMaxGdtRequestSize);
    expectImportsRefused({"import", "csv", "--patients"}, kMaxPatientCsvSize);
    // The table is read before the database is opened: a FIFO leaves none behind.
    TempHome home;
    const QString fifo = home.path("in.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const ToolResult result = RunTool(
        TAVCTL_PATH, {"--home", home.path(), "import", "csv", "--patients", fifo}, {}, kPatienceMs);
    EXPECT_EQ(result.exitCode, 2) << result.err.toStdString();
    EXPECT_FALSE(QFile::exists(home.path("data.mdb")));
}

TEST(TavctlSettings, AnOversizeSettingsFileStopsTheDatabaseFromOpeningAndIsKept)
{
    TempHome home;
    QByteArray bytes = "[SYSTEM]\nDATABASE=postgresql://server/tav\n";
    bytes += ';' + QByteArray(2 << 20, 'x') + '\n';
    home.write("System.ini", bytes);
    const ToolResult result = RunTool(TAVCTL_PATH, {"--home", home.path(), "patient", "list"}, {}, kPatienceMs);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains("settings are not read")) << result.err.toStdString();
    EXPECT_FALSE(QFile::exists(home.path("data.mdb")));
    EXPECT_EQ(home.read("System.ini"), bytes);
}
