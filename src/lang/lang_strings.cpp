#include "lang/lang_strings.h"

#include <climits>
#include <vector>

#include "lang/lang_id.h"
#include "utils/sub.h"
#include "utils/text.h"

namespace zv {
namespace {

const std::string kNoSection = "*";

std::string g_currentSection;  // empty: not chosen yet

int IntValue(const std::string& text, int def) {
    const int64_t v = StrToInt64Def(text, def);
    return (v < INT_MIN || v > INT_MAX) ? def : static_cast<int>(v);
}

}  // namespace

std::string FindLangSection(const std::string& block, const std::string& language) {
    if (SUB::Count(block) == 0) return kNoSection;  // not a well-formed list
    // Items once, rather than item i by index, keeps a block of many sections linear.
    const std::vector<std::string> sections = SUB::Items(block);
    for (const std::string& section : sections)
        if (SameTextTrim(SUB::GetItem(section, 0), language)) return section;
    if (sections.size() == 1 && !sections.front().empty()) return sections.front();
    return kNoSection;
}

std::string ChooseLangSection(const std::string& block, const std::string& userLanguage) {
    std::string section = FindLangSection(block, userLanguage);
    if (section == kNoSection) section = FindLangSection(block, "English");
    return section;
}

const std::string& CurrentLangSection(const std::string& block) {
    if (g_currentSection.empty()) g_currentSection = ChooseLangSection(block, GetCurrentLanguageName());
    return g_currentSection;
}

void ResetLangSectionForTesting() { g_currentSection.clear(); }

std::string GetSectionString(const std::string& section, const std::string& key,
                             const std::string& def) {
    if (section.size() <= 1) return def;
    return SUB::GetKeyValue(section, key, def);
}

std::string GetLangString(const std::string& block, const std::string& key,
                          const std::string& def) {
    return GetSectionString(CurrentLangSection(block), key, def);
}

int GetLangCharset(const std::string& block) {
    return IntValue(GetLangString(block, lang::kCharset), 0);
}

int GetLangFontSize(const std::string& block) {
    return IntValue(GetLangString(block, lang::kFontSize), 8);
}

std::string GetLangFontName(const std::string& block) {
    return GetLangString(block, lang::kFontName);
}

}  // namespace zv
