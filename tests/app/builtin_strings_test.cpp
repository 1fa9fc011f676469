#include "core/app/builtin_strings.h"
#include "core/app/lang_text.h"
#include "support/temp_home.h"
#include "text_lookups.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

bool withoutDefault(int id)
{
    const auto& ids = text_lookups::kWithoutDefault;
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Without a language folder every screen still shows words: the built-in text of
// the id, the same in whichever section it is asked for.
TEST(BuiltinStrings, EveryLookupFallsBackToOneBuiltInTextPerId)
{
    TempHome home; // no Language folder at all
    for (const auto& [section, ids] : text_lookups::Lookups()) {
        for (int id : ids) {
            const QString shown = GetLangText(section, id);
            EXPECT_EQ(shown, BuiltinString(id)) << section << " " << id;
            EXPECT_EQ(GetLangText("NO SUCH SECTION", id), shown) << id;
            EXPECT_EQ(shown.isEmpty(), withoutDefault(id)) << section << " " << id;
        }
    }
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
}

} // namespace
