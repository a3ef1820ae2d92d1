#include "lang/lang_strings.h"

#include <climits>

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
    const int n = SUB::Count(block);
    for (int i = 0; i < n; ++i) {
        const std::string section = SUB::GetItem(block, i);
        if (SameTextTrim(SUB::GetItem(section, 0), language)) return section;
    }
    if (n == 1) {
        std::string only = SUB::GetItem(block, 0);
        if (!only.empty()) return only;
    }
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
