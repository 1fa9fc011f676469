// Where the program finds the files it ships: its own copy first, then the
// shared folder. Which folder an installed, portable or named copy uses is
// checked by running tavctl so (tests/cli/cases/installed.json).
#include "core/app/app_paths.h"
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

} // namespace
