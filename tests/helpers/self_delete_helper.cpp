// Test program: deletes itself, as a finished stub does, and exits at once.
#include <cstring>

#include "utils/win/files_win.h"
#include "utils/win/utility_hooks.h"
#include "utils/win/win_env.h"

int main(int argc, char** argv) {
    zv::InstallWin32Host();
    zv::InstallWin32UtilityHooks();
    const bool removeFolder = argc > 1 && std::strcmp(argv[1], "/folder") == 0;
    zv::DeleteMySelf(removeFolder);
    return 0;
}
