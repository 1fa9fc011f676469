// tavctl against hostile files and names: special files, oversized files,
// a language name that climbs out of its folder, names holding "%1".
#include "support/run_tool.h"
#include "support/temp_home.h"

#include <QFile>
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

TEST(TavctlPatient, NamesAreListedAsTyped)
{
    TempHome home;
    const QString name = "Ann %1 %5 100%";
    ToolResult result = RunTool(TAVCTL_PATH, {"--home", home.path(), "patient", "add", "--name",
                                              name, "--gender", "1", "--birth", "1986-01-01", "--height",
                                              "165", "--weight", "60"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    result = RunTool(TAVCTL_PATH, {"--home", home.path(), "patient", "list"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList cells = QString::fromUtf8(result.out).trimmed().split('\t');
    ASSERT_GE(cells.size(), 8) << result.out.toStdString();
    EXPECT_EQ(cells[2], name);
    EXPECT_EQ(cells[5], "165");
}

} // namespace
