// Where the program finds the files it ships: its own copy first, then the
// shared folder. Which folder an installed, portable or named copy uses is
// checked by running tavctl so (tests/cli/cases/installed.json).
#include "core/app/app_paths.h"
#include "core/app/system_settings.h"
#include "support/temp_home.h"

#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

TEST(ShippedFile, TheUsersOwnCopyThenTheSharedOneThenTheProgramFoldersName)
{
    TempHome root;
    root.write("usr/bin/.keep", "");
    root.write("usr/share/tav-spirometer/TAV(EN).pdf", "%PDF-1.4");
    QProcessEnvironment environment;
    environment.insert("HOME", root.path("home"));
    environment.insert("XDG_DATA_DIRS", root.path("nowhere"));
    AppPaths::Use(AppPaths::Resolve(root.path("usr/bin"), QString(), environment));
    const QString user = "home/.local/share/tav-spirometer";
    EXPECT_EQ(AppPaths::ShippedFile("TAV(EN).pdf"), root.path("usr/share/tav-spirometer/TAV(EN).pdf"));
    // Missing everywhere: the program folder's name, for the "not found" message.
    EXPECT_EQ(AppPaths::ShippedFile("TAV(CH).pdf"), root.path(user + "/TAV(CH).pdf"));
    root.write(user + "/TAV(EN).pdf", "%PDF-1.7 local");
    EXPECT_EQ(AppPaths::ShippedFile("TAV(EN).pdf"), root.path(user + "/TAV(EN).pdf"));
    AppPaths::Use({});
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
