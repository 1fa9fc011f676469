// The core logic behind the windows that no page test reaches: the language
// list, the settings confirm rules, the day's test rows and the help title.
#include "gui_fixture.h"

#include "core/app/help_document.h"
#include "core/app/lang_text.h"
#include "core/app/settings_choice.h"
#include "core/report/day_test_rows.h"

#include <QDate>
#include <QDir>

namespace {

using WindowLogicTest = GuiTest;

TEST_F(WindowLogicTest, LanguageListTakesFilesOnlyAndSelectsFromTheSecondEntryRound)
{
    home.write("Language/English.txt", "");
    home.write("Language/Chinese.txt", "");
    home.write("Language/English (UK).txt", "");
    home.write("Language/.hidden.txt", "");
    home.write("Language/Old/Deutsch.txt", "");
    const QStringList names = LanguageNames(home.path("Language"));
    EXPECT_EQ(names, (QStringList{"Chinese", "English", "English (UK)"}));

    EXPECT_EQ(LanguageIndex(names, "english"), 1);
    EXPECT_EQ(LanguageIndex(names, "Chinese"), 0); // found after wrapping round
    EXPECT_EQ(LanguageIndex(names, "Eng"), 1);
    EXPECT_EQ(LanguageIndex(names, "Klingon"), 0);
    EXPECT_EQ(LanguageIndex(names, ""), 1); // every name begins with nothing: the second one
    EXPECT_EQ(LanguageIndex({}, "English"), -1);
    EXPECT_TRUE(LanguageNames(home.path("NoSuchFolder")).isEmpty());
}

TEST_F(WindowLogicTest, AnEmptyLanguageListStoresAnEmptyLanguage)
{
    SettingsChoice choice = CurrentSettingsChoice();
    choice.language = QString();
    ApplySettingsChoice(choice);
    EXPECT_EQ(Settings().language, "");
    EXPECT_EQ(AppPaths::LanguageFile(), home.path("Language/.txt"));
    EXPECT_EQ(GetLangText("CASE", 116), "Quit"); // the built-in table answers
}

TEST_F(WindowLogicTest, OkReportsOnlyTheChangeFromBluetoothToWired)
{
    SettingsChoice choice = CurrentSettingsChoice();
    Settings().communication = 0;
    choice.communication = 1;
    EXPECT_TRUE(ApplySettingsChoice(choice));
    EXPECT_FALSE(ApplySettingsChoice(choice));
    choice.communication = 0;
    EXPECT_FALSE(ApplySettingsChoice(choice));
    choice.hospital = QString(80, 'H');
    ApplySettingsChoice(choice);
    EXPECT_EQ(Settings().hospital.size(), 60);
}

TEST_F(WindowLogicTest, DayRowsFollowTheDateOfTheTestTime)
{
    const int ann = addPatient("Ann");
    addTest(ann, "1.dt", "2026-03-04 23:59:59", 0);
    addTest(ann, "2.dt", "2026-03-05 00:00:00", 0);
    addTest(ann, "3.dt", "2026-03-04 08:00:00", 0);
    addTest(ann, "4.dt", "2026-03-04 09:00:00", 2);
    const std::vector<DayTestRow> rows =
        ReadDayTestRows(db, ann, 0, "2026-03-04");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].dataName, "3.dt");
    EXPECT_EQ(rows[1].dataName, "1.dt");
    EXPECT_EQ(rows[1].testTime, "2026-03-04 23:59:59");
    EXPECT_NEAR(rows[0].fvc, 4.1, 1e-6);

    const DayTestCounts counts = CountDayTests(db, ann, "2026-03-04");
    EXPECT_EQ(counts.byType[0], 2);
    EXPECT_EQ(counts.byType[1], 0);
    EXPECT_EQ(counts.byType[2], 1);
    EXPECT_EQ(CountDayTests(db, ann, "2026-03-05").byType[0], 1);
    for (const QString& bad : {QString(), QString("2026-3-4"), QString("x' OR '1'='1")})
        EXPECT_TRUE(ReadDayTestRows(db, ann, 0, bad).empty());
    EXPECT_TRUE(ReadDayTestRows(db, 0, 0, "2026-03-04").empty());
}

// Which file opens is the main window's test; the title goes with it.
TEST_F(WindowLogicTest, HelpTitleFollowsTheLanguageWithoutRegardToCase)
{
    EXPECT_EQ(HelpDocumentFor("CHINESE").title, QString::fromUtf8("TAV 肺活量计帮助"));
    EXPECT_EQ(HelpDocumentFor("Chinese (Taiwan)").title, "TAV Spirometer Help");
}

} // namespace
