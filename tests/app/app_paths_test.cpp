// Where the program keeps its files: portable, named, and installed per user.
#include "core/app/app_paths.h"
#include "core/app/system_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A scratch file system: an installed prefix (usr/bin, usr/share/tav-spirometer)
// and a user's home, none of it shared with the machine's own folders.
class PathsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        AppPaths::Use({});
        Settings().Reset();
    }

    QString path(const QString& name) const { return m_root.path() + '/' + name; }
    QString folder(const QString& name) const { return path(name) + '/'; }
    void makeDir(const QString& name) const { ASSERT_TRUE(QDir().mkpath(path(name))); }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QDir().mkpath(QFileInfo(path(name)).absolutePath());
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray read(const QString& name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // An installed program: the executable's folder holds nothing of ours.
    void install() const
    {
        makeDir("usr/bin");
        write("usr/share/tav-spirometer/Language/English.txt", "[MESSAGE]\n141=Prompt\n");
        write("usr/share/tav-spirometer/System.ini", "[SYSTEM]\r\nLANGUAGE=Chinese\r\n");
        write("usr/share/tav-spirometer/TAV(EN).pdf", "%PDF-1.4");
    }

    QProcessEnvironment userEnvironment() const
    {
        QProcessEnvironment environment;
        environment.insert("HOME", path("home"));
        environment.insert("XDG_DATA_DIRS", path("nowhere"));
        return environment;
    }

    AppPaths::Folders resolveInstalled(const QProcessEnvironment& environment) const
    {
        return AppPaths::Resolve(path("usr/bin"), QString(), environment);
    }

    QTemporaryDir m_root;
};

TEST_F(PathsTest, NamedFolderWinsOverEveryOther)
{
    install();
    QProcessEnvironment environment = userEnvironment();
    environment.insert("TAV_HOME", path("named"));
    AppPaths::Folders folders = AppPaths::Resolve(path("usr/bin"), path("given"), environment);
    EXPECT_EQ(folders.programFolder, folder("given"));
    EXPECT_FALSE(folders.perUser);

    folders = resolveInstalled(environment);
    EXPECT_EQ(folders.programFolder, folder("named"));
    EXPECT_FALSE(folders.perUser);
    // The shipped files stay reachable from a named folder, which is neither made nor seeded.
    EXPECT_EQ(folders.sharedFolder, folder("usr/share/tav-spirometer"));
    AppPaths::Use(AppPaths::Resolve(path("usr/bin"), path("given"), environment));
    EXPECT_TRUE(AppPaths::PrepareProgramFolder());
    EXPECT_FALSE(QFile::exists(path("given")));
}

TEST_F(PathsTest, PortableFolderNextToTheExecutableIsKept)
{
    install();
    // Each of these marks an existing program folder, even beside an installed
    // share folder; the first start of a portable copy (Language/ only) counts too.
    int copy = 0;
    for (const char* mark : {"Language/English.txt", "System.ini", "data.mdb", "Case/1/1.dt"}) {
        const QString prefix = QString("copy%1/").arg(++copy);
        makeDir(prefix + "share/tav-spirometer");
        write(prefix + "bin/" + mark, "");
        const AppPaths::Folders folders =
            AppPaths::Resolve(path(prefix + "bin"), QString(), userEnvironment());
        EXPECT_EQ(folders.programFolder, folder(prefix + "bin")) << mark;
        EXPECT_EQ(folders.sharedFolder, folder(prefix + "share/tav-spirometer"));
        EXPECT_FALSE(folders.perUser) << mark;
    }
    // A build that is not installed anywhere keeps the executable's folder too.
    const AppPaths::Folders bare = AppPaths::Resolve(path("bare"), QString(), userEnvironment());
    EXPECT_EQ(bare.programFolder, folder("bare"));
    EXPECT_TRUE(bare.sharedFolder.isEmpty());
}

TEST_F(PathsTest, InstalledProgramUsesTheUsersDataFolder)
{
    install();
    QProcessEnvironment environment = userEnvironment();
    AppPaths::Folders folders = resolveInstalled(environment);
    EXPECT_TRUE(folders.perUser);
    EXPECT_EQ(folders.programFolder, folder("home/.local/share/tav-spirometer"));
    EXPECT_EQ(folders.sharedFolder, folder("usr/share/tav-spirometer"));

    environment.insert("XDG_DATA_HOME", path("xdg"));
    EXPECT_EQ(resolveInstalled(environment).programFolder, folder("xdg/tav-spirometer"));
    // A relative XDG_DATA_HOME is to be ignored.
    environment.insert("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(resolveInstalled(environment).programFolder,
              folder("home/.local/share/tav-spirometer"));

    // The shared folder is found through the data directories, relative ones ignored.
    makeDir("opt/bin");
    makeDir("system/tav-spirometer");
    environment.insert("XDG_DATA_DIRS", "relative:" + path("empty") + ':' + path("system"));
    folders = AppPaths::Resolve(path("opt/bin"), QString(), environment);
    EXPECT_EQ(folders.sharedFolder, folder("system/tav-spirometer"));
    EXPECT_TRUE(folders.perUser);
}

TEST_F(PathsTest, FirstStartMakesThePrivateFolderAndLaterStartsKeepWhatTheUserHas)
{
    install();
    AppPaths::Use(resolveInstalled(userEnvironment()));
    const QString user = "home/.local/share/tav-spirometer";
    QString error;
    ASSERT_TRUE(AppPaths::PrepareProgramFolder(&error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(path(user + "/Case")).isDir());
    EXPECT_EQ(read(user + "/System.ini"), read("usr/share/tav-spirometer/System.ini"));
    EXPECT_FALSE(QFile::exists(path(user + "/System.ini.new")));
    EXPECT_FALSE(QFileInfo(path(user)).permissions().testAnyFlags(QFile::ReadOther | QFile::ReadGroup));

    EXPECT_EQ(AppPaths::SettingsFile(), path(user + "/System.ini"));
    EXPECT_EQ(AppPaths::DatabaseFile(), path(user + "/data.mdb"));
    EXPECT_EQ(AppPaths::CaseRoot(), path(user + "/Case"));
    Settings().Load(AppPaths::SettingsFile());
    EXPECT_EQ(AppPaths::LanguageFile(), path("usr/share/tav-spirometer/Language/Chinese.txt"));
    EXPECT_EQ(AppPaths::ShippedFile("TAV(EN).pdf"), path("usr/share/tav-spirometer/TAV(EN).pdf"));
    // Missing everywhere: the program folder's name, for the "not found" message.
    EXPECT_EQ(AppPaths::ShippedFile("TAV(CH).pdf"), path(user + "/TAV(CH).pdf"));

    // Later starts keep what the user has, and the user's own copies come first.
    write(user + "/System.ini", "[SYSTEM]\r\nHOSPITAL=Ward 7\r\n");
    write(user + "/data.mdb", "patients");
    write(user + "/Language/English.txt", "[MESSAGE]\n141=Notice\n");
    write(user + "/TAV(EN).pdf", "%PDF-1.7 local");
    ASSERT_TRUE(AppPaths::PrepareProgramFolder());
    EXPECT_EQ(read(user + "/System.ini"), "[SYSTEM]\r\nHOSPITAL=Ward 7\r\n");
    EXPECT_EQ(read(user + "/data.mdb"), "patients");
    EXPECT_EQ(AppPaths::LanguageFolder(), folder(user + "/Language"));
    EXPECT_EQ(AppPaths::ShippedFile("TAV(EN).pdf"), path(user + "/TAV(EN).pdf"));
}

TEST_F(PathsTest, FolderThatCannotBeMadeIsReported)
{
    install();
    QProcessEnvironment environment = userEnvironment();
    write("blocked", "a file where the data folder should go");
    environment.insert("XDG_DATA_HOME", path("blocked"));
    AppPaths::Use(resolveInstalled(environment));
    QString error;
    EXPECT_FALSE(AppPaths::PrepareProgramFolder(&error));
    EXPECT_TRUE(error.contains(path("blocked"))) << error.toStdString();

    // No home at all: there is no user's folder to name.
    environment = QProcessEnvironment();
    environment.insert("XDG_DATA_DIRS", path("nowhere"));
    const AppPaths::Folders homeless = resolveInstalled(environment);
    EXPECT_TRUE(homeless.programFolder.isEmpty());
    AppPaths::Use(homeless);
    error.clear();
    EXPECT_FALSE(AppPaths::PrepareProgramFolder(&error));
    EXPECT_TRUE(error.contains("TAV_HOME")) << error.toStdString();
}

// The settings template the package ships states every stored key with its
// initial value, so that an installed program starts as a portable one does.
TEST(ShippedSettingsTemplate, StatesEveryKeyWithItsInitialValue)
{
    const SystemSettings initial; // constructed with the initial values
    SystemSettings& loaded = Settings();
    // Values no key holds: a key missing from the template leaves them showing.
    loaded.wait = 7;
    loaded.btps = 7;
    loaded.communication = 7;
    loaded.predicted = 7;
    loaded.hospital = "unset";
    loaded.language = "unset";
    loaded.space = 7;
    loaded.times = 7;
    loaded.comPort = 7;
    loaded.trendBkColor = loaded.refColor = loaded.fev1Color = loaded.fvcColor = 7;
    loaded.fef50Color = loaded.fef2575Color = loaded.fef75Color = 7;
    loaded.simulator = 7;
    loaded.portName = "unset";
    loaded.Load(TAV_DATA_DIR "/System.ini");
    EXPECT_EQ(loaded.wait.load(), initial.wait.load());
    EXPECT_EQ(loaded.btps.load(), initial.btps.load());
    EXPECT_EQ(loaded.communication.load(), initial.communication.load());
    EXPECT_EQ(loaded.predicted, initial.predicted);
    EXPECT_EQ(loaded.hospital, initial.hospital);
    EXPECT_EQ(loaded.language, initial.language);
    EXPECT_EQ(loaded.space.load(), initial.space.load());
    EXPECT_EQ(loaded.times.load(), initial.times.load());
    EXPECT_EQ(loaded.comPort, initial.comPort);
    EXPECT_EQ(loaded.trendBkColor, initial.trendBkColor);
    EXPECT_EQ(loaded.refColor, initial.refColor);
    EXPECT_EQ(loaded.fev1Color, initial.fev1Color);
    EXPECT_EQ(loaded.fvcColor, initial.fvcColor);
    EXPECT_EQ(loaded.fef50Color, initial.fef50Color);
    EXPECT_EQ(loaded.fef2575Color, initial.fef2575Color);
    EXPECT_EQ(loaded.fef75Color, initial.fef75Color);
    EXPECT_EQ(loaded.simulator.load(), initial.simulator.load());
    EXPECT_EQ(loaded.portName, initial.portName);
    loaded.Reset();
}

} // namespace
