// Names of the user's language, used to pick a section of a package's language block.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

// One self-delimited '|' list of "NAME<blanks>= NUMBER" rows: primary language identifiers
// (two digits at least) first, then complete LANGIDs of a few sub-languages.
extern const char LanguageIdTable[];

// Name of the language number, or "" when the table does not hold that number.
std::string GetLanguageName(int64_t number);

// Supplies the locale identifier (LCID) of the running thread; 0 means "unknown".
using LocaleIdSource = uint32_t (*)();

// Installs the source read by GetCurrentLanguageName (the Win32 layer installs the thread
// locale). Without one the program counts as English (0x409).
void SetLocaleIdSource(LocaleIdSource source);

// Name of the primary language of the thread locale. The locale is read once, on first use, and
// kept: a later change of the thread locale is not seen.
std::string GetCurrentLanguageName();

// Forgets the language read by GetCurrentLanguageName (tests only).
void ResetCurrentLanguageForTesting();

}  // namespace zv
