// The system's answers behind the special folders and path macros (rundir/shell_dir.h): shell
// folders, the Windows and system folders, user, owner, company, computer and domain names, and
// the locale's month names.
#pragma once
#include "utils/platform.h"

namespace zv {

void FillWin32ShellFolders(Platform& p);

}  // namespace zv
