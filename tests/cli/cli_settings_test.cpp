#include "support/run_tool.h"
#include "support/temp_home.h"

#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

QJsonObject settingsOf(const TempHome& home)
{
    const ToolResult result = RunTool(TAVCTL_PATH, {"--home", home.path(), "settings"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    return QJsonDocument::fromJson(result.out).object();
}

TEST(TavctlSettings, ReportsEveryFieldByItsKey)
{
    TempHome home;
    home.write("System.ini", "[system]\r\nlanguage=Chinese\r\nFVCCOLOR=255\r\nPREDICTED=2\r\n"
                             "HOSPITAL=St. Mary's\r\nSIMULATOR=2\r\n");
    const QJsonObject json = settingsOf(home);
    EXPECT_EQ(json["LANGUAGE"].toString(), "Chinese");
    EXPECT_EQ(json["FVCCOLOR"].toInt(), 255);
    EXPECT_EQ(json["PREDICTED"].toInt(), 0);
    EXPECT_EQ(json["HOSPITAL"].toString(), "St. Mary's");
    EXPECT_EQ(json["SIMULATOR"].toInt(), 2);
    EXPECT_EQ(json["BTPS"].toInt(), 1);
    EXPECT_EQ(json["WAVECOLOR"].toInt(), 0xB57160);
    EXPECT_EQ(json["TRENDCOLOR1"].toInt(), 0xFF7878);
    EXPECT_EQ(json["TRENDCOLORS"].toArray().size(), 3);
    for (const char* key : {"WAIT", "COMMUNICATION", "SPACE", "TIMES", "COMPORT", "TRENDBKCOLOR",
                            "REFCOLOR", "FEV1COLOR", "FEF50COLOR", "FEF2575COLOR", "FEF75COLOR"})
        EXPECT_TRUE(json.contains(key)) << key;
    EXPECT_FALSE(QFile::exists(home.path("data.mdb"))); // settings never touch the database
}

TEST(TavctlText, LooksUpTheCurrentLanguageAndFallsBack)
{
    TempHome home;
    home.write("Language/English.txt", "[CASE]\n1226=Done\\nnow\n");
    ToolResult result = RunTool(TAVCTL_PATH, {"--home", home.path(), "text", "CASE", "1226"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "Done\nnow\n");
    result = RunTool(TAVCTL_PATH, {"--home", home.path(), "text", "MESSAGE", "141"});
    EXPECT_EQ(result.out, "Prompt\n");
    result = RunTool(TAVCTL_PATH, {"--home", home.path(), "text", "MESSAGE", "abc"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_FALSE(result.err.isEmpty());
    result = RunTool(TAVCTL_PATH, {"--home", home.path(), "no-such-command"});
    EXPECT_EQ(result.exitCode, 2);
}

} // namespace
