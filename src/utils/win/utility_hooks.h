// The Win32 answers for the run log's thread id, private-profile ini files and the registry
// behind the platform seam (utils/platform.h).
#pragma once
#include "utils/platform.h"

namespace zv {

void FillWin32Utilities(Platform& p);

}  // namespace zv
