#include "app/lang_text.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace {

TEST(GetLangText, FallsBackToBuiltInTable)
{
    TempHome home; // no Language folder at all
    EXPECT_EQ(GetLangText("MESSAGE", 141), "Prompt");
    EXPECT_EQ(GetLangText("CASE", 1193), "TAV Spirometer");
    for (int id : {300, 301, 1332, 1333, 1334, 1335})
        EXPECT_TRUE(GetLangText("SETTING", id).isEmpty()) << id;
}

TEST(GetLangText, FileTextsLineBreaksEmptyValuesAndLength)
{
    TempHome home;
    const QByteArray longText(600, 'x');
    home.write("Language/English.txt",
               "[CASE]\n1193=My Spirometer\n1226=Test\\nover\n105=\n[MESSAGE]\n141=" + longText +
                   "\n");
    EXPECT_EQ(GetLangText("case", 1193), "My Spirometer");
    EXPECT_EQ(GetLangText("CASE", 1226), "Test\nover");
    EXPECT_EQ(GetLangText("CASE", 105), "User Name:"); // empty value behaves as missing
    EXPECT_EQ(GetLangText("MESSAGE", 141).size(), 511);
    EXPECT_EQ(GetLangText("REPORT", 1193), "TAV Spirometer"); // other section: built-in
}

TEST(GetLangText, NoCachingFollowsLanguageChange)
{
    TempHome home;
    home.write("Language/English.txt", "[CASE]\n116=Quit\n");
    home.write("Language/Chinese.txt", QString::fromUtf8("[CASE]\n116=退出\n").toUtf8());
    EXPECT_EQ(GetLangText("CASE", 116), "Quit");
    Settings().language = "Chinese";
    EXPECT_EQ(GetLangText("CASE", 116), QString::fromUtf8("退出"));
}

} // namespace
