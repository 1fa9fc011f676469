// tavctl as an installed copy runs it: <prefix>/bin/tavctl beside
// <prefix>/share/tav-spirometer, with the user's folder under XDG_DATA_HOME.
#include "support/run_tool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class InstalledTavctl : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(path("usr/bin")));
        ASSERT_TRUE(QDir().mkpath(path("usr/share/tav-spirometer/Language")));
        ASSERT_TRUE(QFile::copy(TAVCTL_PATH, path("usr/bin/tavctl")));
        ASSERT_TRUE(QFile::copy(TAV_DATA_DIR "/System.ini", path("usr/share/tav-spirometer/System.ini")));
        ASSERT_TRUE(QFile::copy(TAV_DATA_DIR "/Language/Chinese.txt",
                                path("usr/share/tav-spirometer/Language/Chinese.txt")));
        ASSERT_TRUE(QDir().mkpath(path("home")));
    }

    QString path(const QString& name) const { return m_root.path() + '/' + name; }

    ToolResult run(const QStringList& args, const QString& dataHome) const
    {
        QProcessEnvironment environment;
        environment.insert("PATH", "/usr/bin:/bin");
        environment.insert("HOME", path("home"));
        environment.insert("XDG_DATA_DIRS", path("nowhere"));
        if (!dataHome.isEmpty())
            environment.insert("XDG_DATA_HOME", dataHome);
        return RunTool(path("usr/bin/tavctl"), args, {}, 60000, environment);
    }

    QTemporaryDir m_root;
};

TEST_F(InstalledTavctl, HelpAndVersionNeedNoFolder)
{
    ToolResult result = run({"--help"}, path("data"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.contains("settings")) << result.out.constData();
    result = run({"--version"}, path("data"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, QByteArray("tavctl " TAV_PROJECT_VERSION "\n"));
    EXPECT_FALSE(QFileInfo::exists(path("data")));
}

TEST_F(InstalledTavctl, FirstUseMakesTheUsersFolderAndReadsTheSharedFiles)
{
    ToolResult result = run({"settings"}, path("data"));
    ASSERT_EQ(result.exitCode, 0) << result.err.constData();
    const QString user = path("data/tav-spirometer");
    EXPECT_TRUE(QFileInfo(user + "/Case").isDir());
    EXPECT_TRUE(QFileInfo(user + "/System.ini").isFile());
    EXPECT_FALSE(QFileInfo::exists(path("usr/bin/System.ini")));

    // The user's choice of language reads the shared language file.
    QFile settings(user + "/System.ini");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[SYSTEM]\r\nLANGUAGE=Chinese\r\n");
    settings.close();
    result = run({"text", "MESSAGE", "2900"}, path("data"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(result.out).trimmed(), QString::fromUtf8("无法准备您的数据文件夹："));

    // Without XDG_DATA_HOME the folder is under ~/.local/share.
    result = run({"settings"}, QString());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(QFileInfo(path("home/.local/share/tav-spirometer/Case")).isDir());
}

TEST_F(InstalledTavctl, UnusableDataFolderIsAnErrorNotASilentFallback)
{
    QFile blocker(path("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const ToolResult result = run({"settings"}, path("blocked"));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains("blocked")) << result.err.constData();
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path("usr/bin/System.ini")));
}

} // namespace
