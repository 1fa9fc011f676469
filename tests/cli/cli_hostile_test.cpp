// tavctl against hostile files and names: special files, oversized files,
// a language name that climbs out of its folder, names holding "%1", export
// targets that are links, FIFOs, devices or on a full disk, imports of
// GDT requests and patient tables from such files.
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

TEST(TavctlText, ALanguageNameNeverLeavesTheLanguageFolder)
{
    TempHome home;
    home.write("System.ini", "[SYSTEM]\nLANGUAGE=../x\n");
    home.write("x.txt", "[MESSAGE]\n141=read from outside\n");
    home.write("Language/x.txt", "[MESSAGE]\n141=read from the folder\n");
    ToolResult result = RunTool(TAVCTL_PATH, {"--home", home.path(), "text", "MESSAGE", "141"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "Prompt\n"); // the built-in text
    home.write("System.ini", "[SYSTEM]\nLANGUAGE=x\n");
    result = RunTool(TAVCTL_PATH, {"--home", home.path(), "text", "MESSAGE", "141"});
    EXPECT_EQ(result.out, "read from the folder\n");
}

// Names are listed as typed; 30 emoji fit the 40 characters of a name; control
// and direction characters are refused naming the option, and one that another
// program stored reaches the terminal escaped.
TEST(TavctlPatient, NamesAreListedAsTypedAndControlCharactersNeverReachTheTerminal)
{
    TempHome home;
    const auto add = [&](const QString& name) {
        return RunTool(TAVCTL_PATH, {"--home", home.path(), "patient", "add", "--name", name,
                                     "--gender", "1", "--birth", "1986-01-01", "--height", "165",
                                     "--weight", "60"});
    };
    const QString emoji = QString::fromUcs4(std::u32string(30, U'\U0001F600').data(), 30);
    for (const QString& name : {QString("Ann %1 %5 100%"), emoji}) {
        const ToolResult added = add(name);
        ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    }
    for (const QString& name : {QString("Ann\u202Enna"), QString("Ann\x1b[2J"), emoji + "x" + emoji}) {
        const ToolResult refused = add(name);
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_TRUE(refused.err.contains("--name")) << refused.err.toStdString();
    }
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other program");
        other.setDatabaseName(home.path("data.mdb"));
        ASSERT_TRUE(other.open());
        ASSERT_TRUE(QSqlQuery(other).exec("UPDATE UserInfo SET FirstName = 'Bo' || char(27) || "
                                          "'[2J' || char(9) || 'x' WHERE ID = 2"));
        ASSERT_TRUE(QSqlQuery(other).exec("UPDATE UserInfo SET LastName = FirstName"));
    }
    QSqlDatabase::removeDatabase("other program");
    const ToolResult result = RunTool(TAVCTL_PATH, {"--home", home.path(), "patient", "list"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList lines = QString::fromUtf8(result.out).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2) << result.out.toStdString();
    const QStringList cells = lines[0].split('\t');
    ASSERT_EQ(cells.size(), 8) << result.out.toStdString();
    EXPECT_EQ(cells[2], "Ann %1 %5 100%");
    EXPECT_EQ(cells[5], "165");
    EXPECT_EQ(lines[1].split('\t').value(2), "Bo\\u{001b}[2J\\u{0009}x");
    EXPECT_FALSE(result.out.contains('\x1b'));
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
