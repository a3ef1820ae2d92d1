// The Win32 answers for files, folders, dates and free space behind the platform seam
// (utils/platform.h).
#pragma once
#include "utils/platform.h"

namespace zv {

void FillWin32FileSystem(Platform& p);

}  // namespace zv
