#include "core/app/builtin_strings.h"
#include "core/app/lang_text.h"
#include "support/temp_home.h"
#include "text_lookups.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

std::map<int, std::string> documentedDefaults()
{
    std::map<int, std::string> byId;
    for (const auto& entry : text_lookups::Defaults())
        byId[entry.id] = entry.text;
    return byId;
}

TEST(BuiltinStrings, EveryLookupShowsItsDocumentedDefaultWithoutLanguageFolder)
{
    TempHome home; // no Language folder at all
    const auto defaults = documentedDefaults();
    for (const auto& [section, ids] : text_lookups::Lookups()) {
        for (int id : ids) {
            const std::string shown = GetLangText(section, id).toStdString();
            // The report title and the texts added later: our own wording, but never blank.
            if (id == 102 || id >= 2000) {
                EXPECT_FALSE(shown.empty());
                continue;
            }
            const auto it = defaults.find(id);
            const std::string expected = it == defaults.end() ? std::string() : it->second;
            EXPECT_EQ(shown, expected) << section << " " << id;
        }
    }
}

TEST(BuiltinStrings, OneDefaultPerIdWhateverTheSection)
{
    TempHome home;
    for (const auto& entry : text_lookups::Defaults()) {
        EXPECT_EQ(BuiltinString(entry.id).toStdString(), entry.text) << entry.id;
        EXPECT_EQ(GetLangText("NO SUCH SECTION", entry.id).toStdString(), entry.text) << entry.id;
    }
}

TEST(BuiltinStrings, IdsWithoutDefaultAndUnknownIdsAreEmpty)
{
    for (int id : text_lookups::kWithoutDefault)
        EXPECT_TRUE(BuiltinString(id).isEmpty()) << id;
    for (int id : {-1, 0, 1, 100, 101, 111, 1330, 1336, 99999})
        EXPECT_TRUE(BuiltinString(id).isEmpty()) << id;
}

TEST(BuiltinStrings, MultiLineAndSpacedTextsKeepTheirShape)
{
    // The delete question is two lines; callers concatenate texts that end in a space.
    const QStringList lines = BuiltinString(140).split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Are you sure to delete the ");
    EXPECT_EQ(lines[1], "selection  patient information?");
    EXPECT_TRUE(BuiltinString(1325).endsWith(' '));
    EXPECT_EQ(BuiltinString(1205), QString::fromUtf8("请稍后。。。。。。"));
}

TEST(BuiltinStrings, FortyDistinctDiagnosisPhrases)
{
    std::set<QString> phrases;
    for (int index = 0; index < 40; ++index) {
        const QString phrase = BuiltinString(1283 + index);
        EXPECT_FALSE(phrase.isEmpty()) << index;
        EXPECT_FALSE(phrase.contains('\n')) << index; // one phrase is one line of a diagnosis
        phrases.insert(phrase);
    }
    EXPECT_EQ(phrases.size(), 40u);
    EXPECT_EQ(BuiltinString(1283), "Asthma");
    EXPECT_EQ(BuiltinString(1322), "Very severe restrictive pulmonary defect");
}

} // namespace
