#include "lang/lang_id.h"

#include "utils/sub.h"
#include "utils/text.h"

namespace zv {

// The blanks before "=" are part of the rows as stored; the lookup trims them.
const char LanguageIdTable[] =
    "|"
    "AFRIKAANS    = 54|"
    "ALBANIAN     = 28|"
    "ARABIC       = 01|"
    "BASQUE       = 45|"
    "BELARUSIAN   = 35|"
    "BULGARIAN    = 02|"
    "CATALAN      = 03|"
    "CHINESE      = 04|"
    "CROATIAN     = 26|"
    "CZECH        = 05|"
    "DANISH       = 06|"
    "DUTCH        = 19|"
    "ENGLISH      = 09|"
    "ESTONIAN     = 37|"
    "FAEROESE     = 56|"
    "FARSI        = 41|"
    "FINNISH      = 11|"
    "FRENCH       = 12|"
    "GERMAN       = 07|"
    "GREEK        = 08|"
    "HEBREW       = 13|"
    "HUNGARIAN    = 14|"
    "ICELANDIC    = 15|"
    "INDONESIAN   = 33|"
    "ITALIAN      = 16|"
    "JAPANESE     = 17|"
    "KOREAN       = 18|"
    "LATVIAN      = 38|"
    "LITHUANIAN   = 39|"
    "NORWEGIAN    = 20|"
    "POLISH       = 21|"
    "PORTUGUESE   = 22|"
    "ROMANIAN     = 24|"
    "RUSSIAN      = 25|"
    "SERBIAN      = 26|"
    "SLOVAK       = 27|"
    "SLOVENIAN    = 36|"
    "SPANISH      = 10|"
    "SWEDISH      = 29|"
    "THAI         = 30|"
    "TURKISH      = 31|"
    "UKRAINIAN    = 34|"
    "VIETNAMESE   = 42|"
    "CHINESE(SIMPLIFIED)  = 2052|"
    "CHINESE(TRADITIONAL) = 1028|"
    "DUTCH(FLEMISH)       = 2067|"
    "DUTCH(STANDARD)      = 1043|"
    "PORTUGUESE(PORTUGAL) = 2070|"
    "PORTUGUESE(BRAZIL)   = 1046|"
    "SERBIAN(LATIN)       = 2074|"
    "SERBIAN(CYRILIC)     = 3098|";

namespace {

constexpr uint32_t kEnglishUs = 0x409;

uint32_t NoLocaleSource() { return 0; }

LocaleIdSource g_localeSource = &NoLocaleSource;
bool g_languageFixed = false;
std::string g_currentLanguage;

}  // namespace

std::string GetLanguageName(int64_t number) {
    const std::string key = PadZero(number, 2);
    const std::string table = LanguageIdTable;
    for (const std::string& row : SUB::Items(table)) {
        const size_t eq = row.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        // The whole number field must equal the key. Finding the key anywhere in a row would
        // name a language the table does not hold after a four-digit row that happens to
        // contain its two digits (Xhosa, 52, would come out as CHINESE(SIMPLIFIED)).
        if (Trim(row.substr(eq + 1)) != key) continue;
        return Trim(row.substr(0, eq));
    }
    return "";
}

void SetLocaleIdSource(LocaleIdSource source) {
    g_localeSource = source ? source : &NoLocaleSource;
}

std::string GetCurrentLanguageName() {
    if (!g_languageFixed) {
        uint32_t lcid = g_localeSource();
        if (lcid == 0) lcid = kEnglishUs;
        g_currentLanguage = GetLanguageName(lcid & 0x3FF);
        g_languageFixed = true;
    }
    return g_currentLanguage;
}

void ResetCurrentLanguageForTesting() {
    g_languageFixed = false;
    g_currentLanguage.clear();
}

}  // namespace zv
