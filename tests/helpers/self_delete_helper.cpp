// Test program: deletes itself, as a finished stub does, and exits at once.
#include <cstring>

#include "utils/win/files_win.h"
#include "stub/win/win32_platform.h"

int main(int argc, char** argv) {
    zv::InstallWin32Platform();
    const bool removeFolder = argc > 1 && std::strcmp(argv[1], "/folder") == 0;
    zv::DeleteMySelf(removeFolder);
    return 0;
}
