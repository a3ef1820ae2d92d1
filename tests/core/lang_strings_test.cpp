#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "lang/lang_id.h"
#include "lang/lang_strings.h"

namespace zv {
namespace {

// Builds a language block from sections, each given as its name followed by its entries.
std::string Section(std::initializer_list<std::string> items) {
    std::string s(1, kLangSectionSeparator);
    for (const std::string& item : items) s += item + kLangSectionSeparator;
    return s;
}
std::string Block(std::initializer_list<std::string> sections) {
    std::string b(1, kLangBlockSeparator);
    for (const std::string& s : sections) b += s + kLangBlockSeparator;
    return b;
}

TEST(GetSectionString, KeyRules) {
    const std::string section = Section({"English", "S0=Title", "s10=Ten", "s2 = Two",
                                         "s11=Size = <SIZE>", "s3=", "s4=first", "s4=second",
                                         "s5=a=b"});
    const struct {
        const char* key;
        const char* expected;
    } cases[] = {
        {"s0", "Title"},            // keys ignore case
        {"S10", "Ten"},
        {"s1", "default"},          // s1 never matches s10
        {"s2", " Two"},             // blanks before "=" go, blanks after stay
        {"s11", "Size= <SIZE>"},    // ... also inside values
        {"s3", ""},                 // present and empty: empty, not the default
        {"s4", "first"},            // the first of two wins
        {"s5", "a=b"},              // a value may hold "="
        {"English", "default"},     // the section name is no entry
        {"missing", "default"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetSectionString(section, c.key, "default"), c.expected) << c.key;
    EXPECT_EQ(GetSectionString("*", "s0", "d"), "d");
    EXPECT_EQ(GetSectionString("", "s0", "d"), "d");
}

TEST(FindLangSection, ChoosesByNameOrTheOnlySection) {
    const std::string en = Section({"English", "s0=E"});
    const std::string de = Section({" german ", "s0=D"});
    const std::string unnamed = Section({"", "s0=U"});
    const std::string two = Block({en, de});

    EXPECT_EQ(FindLangSection(two, "GERMAN"), de);   // trimmed, case ignored
    EXPECT_EQ(FindLangSection(two, "ENGLISH"), en);
    EXPECT_EQ(FindLangSection(two, "FRENCH"), "*");
    EXPECT_EQ(FindLangSection(Block({de}), "FRENCH"), de);  // one section: whatever its name
    EXPECT_EQ(FindLangSection(Block({en, unnamed}), ""), unnamed);
    EXPECT_EQ(FindLangSection("", "ENGLISH"), "*");
    EXPECT_EQ(FindLangSection(std::string(1, kLangBlockSeparator), "ENGLISH"), "*");
    EXPECT_EQ(FindLangSection(std::string(2, kLangBlockSeparator), "ENGLISH"), "*");
    EXPECT_EQ(FindLangSection(Block({en}).substr(1), "ENGLISH"), "*");  // no leading separator
    EXPECT_EQ(FindLangSection(Block({en}) + "x", "ENGLISH"), "*");      // cut or trailing bytes
}

TEST(ChooseLangSection, FallsBackToEnglish) {
    const std::string en = Section({"English", "s0=E"});
    const std::string de = Section({"German", "s0=D"});
    const std::string fr = Section({"French", "s0=F"});
    const struct {
        std::string block;
        const char* user;
        std::string expected;
    } cases[] = {
        {Block({en, de}), "GERMAN", de},
        {Block({en, de}), "FRENCH", en},
        {Block({de, fr}), "ITALIAN", "*"},
        {Block({de}), "ENGLISH", de},
        {Block({fr, Section({"", "s0=U"})}), "", Section({"", "s0=U"})},  // unknown language
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseLangSection(c.block, c.user), c.expected) << c.user;
}

uint32_t g_lcid = 0x0407;
uint32_t FakeLocale() { return g_lcid; }

class LangLookup : public ::testing::Test {
protected:
    void SetUp() override {
        SetLocaleIdSource(&FakeLocale);
        ResetCurrentLanguageForTesting();
        ResetLangSectionForTesting();
    }
    void TearDown() override {
        SetLocaleIdSource(nullptr);
        ResetCurrentLanguageForTesting();
        ResetLangSectionForTesting();
    }
};

TEST_F(LangLookup, SectionIsChosenOncePerProcess) {
    g_lcid = 0x0407;
    const std::string block = Block({Section({"English", "s0=Hello"}),
                                     Section({"German", "s0=Hallo", "FontSize=10"})});
    EXPECT_EQ(GetLangString(block, lang::kWindowTitle), "Hallo");
    EXPECT_EQ(GetLangFontSize(block), 10);
    // A later lookup through another package still answers from the first choice.
    const std::string other = Block({Section({"English", "s0=Other"})});
    EXPECT_EQ(GetLangString(other, "s0", "x"), "Hallo");
    EXPECT_EQ(GetLangString(other, "s1", "default"), "default");
}

TEST_F(LangLookup, NoApplicableSectionGivesDefaultsForTheWholeProcess) {
    g_lcid = 0x040C;  // French
    const std::string block = Block({Section({"German", "s0=Hallo"}), Section({"Dutch", "s0=Hoi"})});
    EXPECT_EQ(GetLangString(block, lang::kWindowTitle), "Zolvex Installation Suite");
    EXPECT_EQ(GetLangString(Block({Section({"French", "s0=Salut"})}), "s0", "d"), "d");
    EXPECT_EQ(GetLangFontName(block), "Tahoma");
    EXPECT_EQ(GetLangFontSize(block), 8);
    EXPECT_EQ(GetLangCharset(block), 0);
}

TEST_F(LangLookup, FontAndCharsetValues) {
    const struct {
        std::string entries;
        int charset;
        int size;
        const char* face;
    } cases[] = {
        {"Charset=177|FontSize=9|FontName=Arial", 177, 9, "Arial"},
        {"Charset=x|FontSize=big|FontName=", 0, 8, ""},   // not numbers: 0 and 8; empty face
        {"Charset=|FontSize=", 0, 8, "Tahoma"},
        {"Charset = 1|FontSize = 12", 1, 12, "Tahoma"},
        {"Charset=99999999999|FontSize=-3", 0, -3, "Tahoma"},
    };
    for (const auto& c : cases) {
        ResetLangSectionForTesting();
        std::string section = Section({"English", c.entries});
        for (char& ch : section)
            if (ch == '|') ch = kLangSectionSeparator;
        const std::string block = Block({section});
        EXPECT_EQ(GetLangCharset(block), c.charset) << c.entries;
        EXPECT_EQ(GetLangFontSize(block), c.size) << c.entries;
        EXPECT_EQ(GetLangFontName(block), c.face) << c.entries;
    }
}

}  // namespace
}  // namespace zv
