#include "core/app/ini_file.h"
#include "core/app/settings_choice.h"
#include "core/app/system_settings.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(SystemSettingsWrite, CreatesTheFileAndWritesDecimal)
{
    TempHome home;
    ASSERT_TRUE(SystemSettings::WriteInt("TRENDBKCOLOR", 0xFFFFCC));
    ASSERT_TRUE(SystemSettings::WriteString("HOSPITAL", "St. Mary's"));
    EXPECT_EQ(IniFile::ReadString(AppPaths::SettingsFile(), "SYSTEM", "TRENDBKCOLOR", "", 99),
              "16777164");
    Settings().Load(AppPaths::SettingsFile());
    EXPECT_EQ(Settings().trendBkColor, 0xFFFFCCu);
    EXPECT_EQ(Settings().hospital, "St. Mary's");
}

} // namespace

// A System.ini too large to read whole: every save is refused with the reason,
// and the file with all its keys stays as it was.
TEST(SystemSettingsWrite, ARefusedFileIsKeptWholeAndTheFailureReported)
{
    TempHome home;
    QByteArray bytes = "[SYSTEM]\nDATABASE=postgresql://server/tav\nLANGUAGE=Chinese\n";
    bytes += ';' + QByteArray(int(IniFile::kMaxFileSize), 'x') + '\n';
    home.write("System.ini", bytes);
    QString error;
    EXPECT_FALSE(SystemSettings::WriteInt("WAIT", 1, &error));
    EXPECT_TRUE(error.contains("larger than")) << error.toStdString();
    SettingsChoice choice;
    choice.language = "English";
    QString saveError;
    ApplySettingsChoice(choice, &saveError);
    EXPECT_TRUE(saveError.contains("LANGUAGE")) << saveError.toStdString();
    error.clear();
    EXPECT_FALSE(RestoreDefaultSettings(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(home.read("System.ini"), bytes);
    // Loading it keeps every initial value and says why, so that no caller
    // mistakes the missing DATABASE for "the local one".
    Settings().Load(AppPaths::SettingsFile());
    EXPECT_TRUE(Settings().unreadable.contains("larger than")) << Settings().unreadable.toStdString();
    EXPECT_TRUE(Settings().database.isEmpty());
    EXPECT_EQ(Settings().language, "English");

    // Once the file is back within the limit (and read again), the same save goes through
    // and keeps the other keys.
    bytes.truncate(bytes.indexOf(';'));
    home.write("System.ini", bytes);
    Settings().Load(AppPaths::SettingsFile());
    saveError = "not cleared";
    ApplySettingsChoice(choice, &saveError);
    EXPECT_TRUE(saveError.isEmpty()) << saveError.toStdString();
    EXPECT_EQ(IniFile::ReadString(AppPaths::SettingsFile(), "SYSTEM", "DATABASE", "", 99),
              "postgresql://server/tav");
    EXPECT_EQ(IniFile::ReadString(AppPaths::SettingsFile(), "SYSTEM", "LANGUAGE", "", 99), "English");
    Settings().Load(AppPaths::SettingsFile());
    EXPECT_TRUE(Settings().unreadable.isEmpty()) << Settings().unreadable.toStdString();
    EXPECT_EQ(Settings().database, "postgresql://server/tav");
}

// Two writers of one System.ini: the dialog's save is refused while another
// program's value of one of its keys is unseen, and goes over it only when
// chosen; keys it never read are kept either way.
TEST(SystemSettingsWrite, AKeySavedMeanwhileIsNamedAndOnlyOverwrittenWhenChosen)
{
    TempHome home;
    home.write("System.ini", "[SYSTEM]\nHOSPITAL=City Clinic\nLANGUAGE=English\n");
    Settings().Load(AppPaths::SettingsFile());
    const QString path = AppPaths::SettingsFile();
    ASSERT_TRUE(IniFile::WriteString(path, "SYSTEM", "HOSPITAL", "North Clinic"));
    ASSERT_TRUE(IniFile::WriteString(path, "EXCHANGE", "GDT_FOLDER", "/srv/gdt"));

    SettingsChoice choice = CurrentSettingsChoice();
    choice.hospital = "South Clinic";
    QString error;
    QStringList changes;
    ApplySettingsChoice(choice, &error, &changes);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_TRUE(changes[0].contains("City Clinic") && changes[0].contains("North Clinic"))
        << changes[0].toStdString();
    EXPECT_EQ(Settings().hospital, "City Clinic");
    EXPECT_EQ(IniFile::ReadString(path, "SYSTEM", "HOSPITAL", "", 99), "North Clinic");

    ApplySettingsChoice(choice, &error, &changes, true);
    EXPECT_TRUE(changes.isEmpty() && error.isEmpty()) << error.toStdString();
    EXPECT_EQ(IniFile::ReadString(path, "SYSTEM", "HOSPITAL", "", 99), "South Clinic");
    EXPECT_EQ(IniFile::ReadString(path, "EXCHANGE", "GDT_FOLDER", "", 99), "/srv/gdt");
    // Its own save is what it read next time: no question.
    choice.hospital = "East Clinic";
    ApplySettingsChoice(choice, &error, &changes);
    EXPECT_TRUE(changes.isEmpty());
    EXPECT_EQ(Settings().hospital, "East Clinic");
}

// Two processes writing keys into one file at once: each write reads, changes
// and replaces the file under its lock, so no key of the other is lost.
TEST(SystemSettingsWrite, TwoProcessesWritingAtOnceLoseNoKey)
{
    TempHome home;
    const QString path = home.path("System.ini");
    home.write("System.ini", "[SYSTEM]\n");
    constexpr int kKeys = 30;
    const auto writeKeys = [&](const char* prefix) {
        bool ok = true;
        for (int i = 0; i < kKeys; ++i)
            ok = IniFile::WriteInt(path, "SYSTEM", QString("%1%2").arg(prefix).arg(i), i) && ok;
        return ok;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(writeKeys("CHILD") ? 0 : 1);
    const bool parentOk = writeKeys("PARENT");
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(parentOk);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const IniFile::Values values = IniFile::SectionValues(path, "SYSTEM");
    EXPECT_EQ(values.size(), 2 * kKeys);
}

