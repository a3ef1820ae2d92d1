#include "lang/win/thread_locale.h"

#include <windows.h>

#include "lang/lang_id.h"

namespace zv {
namespace {

uint32_t ThreadLocaleId() { return static_cast<uint32_t>(GetThreadLocale()); }

}  // namespace

void InstallThreadLocaleSource() { SetLocaleIdSource(&ThreadLocaleId); }

}  // namespace zv
