#include <gtest/gtest.h>

#include "lang/lang_id.h"
#include "utils/sub.h"

namespace zv {
namespace {

TEST(LanguageIdTable, RowsKeepTheirStoredLayout) {
    const std::string table = LanguageIdTable;
    const auto rows = SUB::Items(table);
    ASSERT_EQ(rows.size(), 51u);
    EXPECT_EQ(table.front(), '|');
    EXPECT_EQ(table.back(), '|');
    EXPECT_EQ(rows.front(), "AFRIKAANS    = 54");
    EXPECT_EQ(rows[42], "VIETNAMESE   = 42");
    EXPECT_EQ(rows[43], "CHINESE(SIMPLIFIED)  = 2052");
    EXPECT_EQ(rows.back(), "SERBIAN(CYRILIC)     = 3098");
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].find('='), i < 43 ? 13u : 21u) << rows[i];
}

TEST(GetLanguageName, NamesPrimaryAndCompleteIdentifiers) {
    const struct {
        int64_t number;
        const char* name;
    } cases[] = {
        {9, "ENGLISH"},    {7, "GERMAN"},   {12, "FRENCH"},  {10, "SPANISH"},
        {4, "CHINESE"},    {1, "ARABIC"},   {56, "FAEROESE"}, {20, "NORWEGIAN"},
        {26, "CROATIAN"},  // shared with SERBIAN; the first row wins
        {2052, "CHINESE(SIMPLIFIED)"}, {1028, "CHINESE(TRADITIONAL)"}, {3098, "SERBIAN(CYRILIC)"},
        {0, ""},           {40, ""},        {-9, ""},        {0x409, ""},
        // Languages the table does not hold stay unnamed even when their two digits occur
        // inside a four-digit row (52 Xhosa, 67 Uzbek, 43 Armenian, 70, 46, 74, 98).
        {52, ""}, {67, ""}, {43, ""}, {70, ""}, {46, ""}, {74, ""}, {98, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(GetLanguageName(c.number), c.name) << c.number;
}

uint32_t g_lcid = 0;
uint32_t FakeLocale() { return g_lcid; }

TEST(GetCurrentLanguageName, UsesThePrimaryLanguageReadOnce) {
    SetLocaleIdSource(&FakeLocale);
    const struct {
        uint32_t lcid;
        const char* name;
    } cases[] = {
        {0x0407, "GERMAN"},   // de-DE
        {0x0C07, "GERMAN"},   // de-AT: only the primary language counts
        {0x0804, "CHINESE"},  // zh-CN: never the complete LANGID
        {0, "ENGLISH"},       // no locale: English (United States)
        {0x0436, "AFRIKAANS"},
    };
    for (const auto& c : cases) {
        ResetCurrentLanguageForTesting();
        g_lcid = c.lcid;
        EXPECT_EQ(GetCurrentLanguageName(), c.name) << c.lcid;
        g_lcid = 0x040C;  // a later change of the thread locale is not seen
        EXPECT_EQ(GetCurrentLanguageName(), c.name) << c.lcid;
    }
    SetLocaleIdSource(nullptr);
    ResetCurrentLanguageForTesting();
}

}  // namespace
}  // namespace zv
