#include "core/app/builtin_strings.h"
#include "core/app/ini_file.h"
#include "core/app/lang_text.h"
#include "support/temp_home.h"
#include "text_lookups.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <map>
#include <set>
#include <string>

namespace {

// Without a language folder every screen still shows words: the built-in text of
// the id, the same in whichever section it is asked for.
TEST(BuiltinStrings, EveryLookupFallsBackToOneBuiltInTextPerId)
{
    TempHome home; // no Language folder at all
    const auto& without = text_lookups::WithoutDefault();
    for (const auto& [section, ids] : text_lookups::Lookups()) {
        for (int id : ids) {
            const QString shown = GetLangText(section, id);
            EXPECT_EQ(shown, BuiltinString(id)) << section << " " << id;
            EXPECT_EQ(GetLangText("NO SUCH SECTION", id), shown) << id;
            EXPECT_EQ(shown.isEmpty(), without.count(id) == 1)
                << section << " " << id;
        }
    }
    for (int id : {-1, 0, 1, 100, 101, 111, 1330, 1336, 99999})
        EXPECT_TRUE(BuiltinString(id).isEmpty()) << id;
    // Forty distinct diagnosis phrases of one line each.
    std::set<QString> phrases;
    for (int id = 1283; id < 1283 + 40; ++id) {
        EXPECT_FALSE(BuiltinString(id).isEmpty() || BuiltinString(id).contains('\n')) << id;
        phrases.insert(BuiltinString(id));
    }
    EXPECT_EQ(phrases.size(), 40u);
}

// The language files as they are shipped.

QString shippedFile(const char* language)
{
    return QString(TAV_LANGUAGE_DIR) + '/' + language + ".txt";
}

bool hasChinese(const QString& text)
{
    for (const QChar c : text)
        if ((c.unicode() >= 0x3000 && c.unicode() <= 0x9FFF) ||
            (c.unicode() >= 0xFF00 && c.unicode() <= 0xFFEF))
            return true;
    return false;
}

std::map<QString, std::set<int>> lookedUp()
{
    std::map<QString, std::set<int>> ids;
    for (const auto& [section, list] : text_lookups::Lookups())
        ids[section].insert(list.begin(), list.end());
    return ids;
}

class ShippedLanguageFile : public testing::TestWithParam<const char*> {};

TEST_P(ShippedLanguageFile, IsUtf8IniWithOnlyTheTextsTheProgramUses)
{
    QFile file(shippedFile(GetParam()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes) << "not valid UTF-8";

    const auto used = lookedUp();
    std::map<QString, std::set<int>> seen;
    QString section;
    const QStringList lines = QString::fromUtf8(bytes).split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        const std::string where = "line " + std::to_string(n + 1);
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            ASSERT_TRUE(line.endsWith(']')) << where;
            section = line.mid(1, line.size() - 2);
            EXPECT_TRUE(used.count(section)) << where << ": unknown section";
            EXPECT_FALSE(seen.count(section)) << where << ": section repeated";
            seen[section];
            continue;
        }
        const int eq = line.indexOf('=');
        ASSERT_GT(eq, 0) << where;
        bool isNumber = false;
        const int id = line.left(eq).toInt(&isNumber);
        ASSERT_TRUE(isNumber) << where;
        ASSERT_FALSE(section.isEmpty()) << where << ": key before any section";
        // A repeated key would be hidden behind the first one.
        EXPECT_TRUE(seen[section].insert(id).second) << where << ": key repeated";
        EXPECT_TRUE(used.count(section) && used.at(section).count(id))
            << where << ": " << id << " is not looked up in " << section.toStdString();
        EXPECT_LE(line.size() - eq - 1, kLangTextLength) << where;
    }
}

TEST_P(ShippedLanguageFile, HoldsEveryTextTheProgramLooksUp)
{
    const QString path = shippedFile(GetParam());
    for (const auto& [section, ids] : text_lookups::Lookups()) {
        for (int id : ids) {
            EXPECT_TRUE(IniFile::HasKey(path, section, QString::number(id)))
                << section << " " << id << " missing";
            EXPECT_FALSE(GetLangTextFrom(path, section, id).trimmed().isEmpty())
                << section << " " << id << " blank";
        }
    }
    // The delete question stays two lines in every language.
    EXPECT_EQ(GetLangTextFrom(path, "MESSAGE", 140).count('\n'), 1);
    // The BTPS and Wait lists offer two different choices.
    EXPECT_NE(GetLangTextFrom(path, "SETTING", 300), GetLangTextFrom(path, "SETTING", 301));
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedLanguageFile, testing::Values("English", "Chinese"));

// The shipped files and the built-in table are two copies of the same texts:
// where the built-in text is English, the English file says the same; where it
// is Chinese (texts that were never translated), the Chinese file does.
TEST(ShippedLanguageFiles, EachFileAgreesWithTheBuiltInTextsOfItsLanguage)
{
    const QString english = shippedFile("English");
    const QString chinese = shippedFile("Chinese");
    const QStringList sameInEveryLanguage = {"cm", "kg", "L", "L/S", "TAV"};
    for (const auto& [section, ids] : text_lookups::Lookups()) {
        for (int id : ids) {
            const QString builtin = BuiltinString(id);
            const QString inEnglish = GetLangTextFrom(english, section, id);
            const QString inChinese = GetLangTextFrom(chinese, section, id);
            EXPECT_FALSE(hasChinese(inEnglish)) << section << " " << id;
            // The report title and the later texts (from 2000) are worded by us.
            const bool documented = id != 102 && id < 2000 && !builtin.isEmpty();
            if (documented && !hasChinese(builtin)) {
                EXPECT_EQ(inEnglish, builtin) << section << " " << id;
            }
            if (documented && hasChinese(builtin)) {
                EXPECT_EQ(inChinese, builtin) << section << " " << id;
            } else if (!sameInEveryLanguage.contains(inChinese)) {
                EXPECT_TRUE(hasChinese(inChinese)) << section << " " << id << " untranslated";
            }
        }
    }
    // List headers drop a trailing ASCII colon, so the labels must end in one.
    for (int id : {104, 105, 107, 108, 109, 110})
        EXPECT_TRUE(GetLangTextFrom(chinese, "CASE", id).endsWith(':')) << id;
}

// An empty language folder stores an empty LANGUAGE: with the shipped files in
// place, only the built-in table is left (no file is taken for it).
TEST(ShippedLanguageFiles, AnEmptyLanguageChoiceFallsBackToTheBuiltInTable)
{
    TempHome home;
    for (const char* language : {"English", "Chinese"}) {
        QFile file(shippedFile(language));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        home.write(QString("Language/") + language + ".txt", file.readAll());
    }
    Settings().language = "Chinese";
    EXPECT_TRUE(hasChinese(GetLangText("SETTING", 300)));
    Settings().language = "";
    EXPECT_TRUE(GetLangText("SETTING", 300).isEmpty());
    EXPECT_EQ(GetLangText("CASE", 1193), "TAV Spirometer");
}

} // namespace
