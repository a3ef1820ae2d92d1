#include "stub/win/win32_platform.h"

#include "autoupdate/win/agent_settings_win.h"
#include "package/win/cluster_size.h"
#include "rundir/win/shell_dir_win.h"
#include "utils/platform.h"
#include "utils/win/file_system_win.h"
#include "utils/win/utility_hooks.h"
#include "utils/win/win_env.h"

namespace zv {

void FillWin32Platform(Platform& p) {
    FillWin32Host(p);
    FillWin32FileSystem(p);
    FillWin32Utilities(p);
    FillWin32ShellFolders(p);
    p.clusterSize = &Win32ClusterSize;
    FillWin32Network(p);
}

void InstallWin32Platform() {
    Platform p;
    FillWin32Platform(p);
    SetPlatform(p);
}

}  // namespace zv
