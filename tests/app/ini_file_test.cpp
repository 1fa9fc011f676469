#include "core/app/ini_file.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace {

TEST(IniFileRead, NamesCompareWithoutCaseAndFirstKeyWins)
{
    TempHome home;
    home.write("a.ini", "[system]\r\nLanguage=First\r\nLANGUAGE=Second\r\n[Other]\r\nkey=x\r\n");
    const QString file = home.path("a.ini");
    EXPECT_EQ(IniFile::ReadString(file, "SYSTEM", "language", "d", 99), "First");
    EXPECT_EQ(IniFile::ReadString(file, "other", "KEY", "d", 99), "x");
    EXPECT_EQ(IniFile::ReadString(file, "SYSTEM", "key", "d", 99), "d"); // key of another section
    EXPECT_EQ(IniFile::ReadString(file, "missing", "key", "d", 99), "d");
    EXPECT_EQ(IniFile::ReadString(home.path("none.ini"), "SYSTEM", "language", "d", 99), "d");
}

TEST(IniFileRead, SpacesQuotesMissingFinalNewlineAndLength)
{
    TempHome home;
    home.write("a.ini", "; comment\n[ SYSTEM ]\n  my key  =  two words  \nQ=\"quoted\"\nlast=1234567");
    const QString file = home.path("a.ini");
    EXPECT_EQ(IniFile::ReadString(file, "SYSTEM", "my key", "", 99), "two words");
    EXPECT_EQ(IniFile::ReadString(file, "SYSTEM", "q", "", 99), "quoted");
    EXPECT_EQ(IniFile::ReadString(file, "SYSTEM", "last", "", 3), "123");
    EXPECT_EQ(IniFile::ReadInt(file, "SYSTEM", "last", 0), 1234567);
}

TEST(IniFileRead, IntegersParseLikeTheProfileCall)
{
    TempHome home;
    home.write("a.ini", "[S]\nneg=-12\nword=abc\nmixed=42px\nempty=\n");
    const QString file = home.path("a.ini");
    EXPECT_EQ(IniFile::ReadInt(file, "S", "neg", 7), -12);
    EXPECT_EQ(IniFile::ReadInt(file, "S", "word", 7), 0);
    EXPECT_EQ(IniFile::ReadInt(file, "S", "mixed", 7), 42);
    EXPECT_EQ(IniFile::ReadInt(file, "S", "empty", 7), 0);
    EXPECT_EQ(IniFile::ReadInt(file, "S", "absent", 7), 7);
}

TEST(IniFileWrite, KeepsEveryOtherLineAndLineEndings)
{
    TempHome home;
    const QByteArray before = "; settings\r\n[SYSTEM]\r\nLANGUAGE=English\r\n\r\n; colours\r\n"
                              "FVCCOLOR=255\r\n[Extra]\r\nkeep=me\r\n";
    home.write("a.ini", before);
    const QString file = home.path("a.ini");
    ASSERT_TRUE(IniFile::WriteString(file, "system", "language", "Chinese"));
    QByteArray expected = before;
    expected.replace("LANGUAGE=English", "language=Chinese");
    EXPECT_EQ(home.read("a.ini"), expected);

    ASSERT_TRUE(IniFile::WriteInt(file, "SYSTEM", "BTPS", 0));
    expected.replace("FVCCOLOR=255\r\n", "FVCCOLOR=255\r\nBTPS=0\r\n");
    EXPECT_EQ(home.read("a.ini"), expected);

    ASSERT_TRUE(IniFile::WriteString(file, "New", "k", "v"));
    EXPECT_EQ(home.read("a.ini"), expected + "[New]\r\nk=v\r\n");
}

TEST(IniFileWrite, CreatesMissingFileAndHandlesNoFinalNewline)
{
    TempHome home;
    const QString file = home.path("new.ini");
    ASSERT_TRUE(IniFile::WriteInt(file, "SYSTEM", "WAIT", 1));
    EXPECT_EQ(IniFile::ReadInt(file, "SYSTEM", "WAIT", 0), 1);

    home.write("b.ini", "[S]\na=1\n[T]\nb=2");
    ASSERT_TRUE(IniFile::WriteString(home.path("b.ini"), "S", "a", "9"));
    EXPECT_EQ(home.read("b.ini"), "[S]\na=9\n[T]\nb=2");
    ASSERT_TRUE(IniFile::WriteString(home.path("b.ini"), "T", "c", "3"));
    EXPECT_EQ(home.read("b.ini"), "[S]\na=9\n[T]\nb=2\nc=3\n");
    EXPECT_FALSE(QFile::exists(home.path("b.ini") + ".tmp"));
}

TEST(IniFileWrite, DuplicateKeysChangeOnlyTheFirst)
{
    TempHome home;
    home.write("a.ini", "[S]\nk=1\nk=2\n");
    ASSERT_TRUE(IniFile::WriteString(home.path("a.ini"), "S", "K", "3"));
    EXPECT_EQ(home.read("a.ini"), "[S]\nK=3\nk=2\n");
}

} // namespace
