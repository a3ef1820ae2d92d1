// Connects the language lookups to the thread locale of the running program.
#pragma once

namespace zv {

// Makes GetCurrentLanguageName read GetThreadLocale. Call once at start, before the first
// language lookup.
void InstallThreadLocaleSource();

}  // namespace zv
