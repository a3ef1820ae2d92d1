// The platform the shipped programs start out on: the Win32 layer's answers, every one of them.
// Their libraries are built without the C library's answers (utils/platform_native.cpp, a few KB
// of stdio, stat and <chrono> code that the stub would never call), and this file stands in for
// it, so that nothing can reach a missing answer even before InstallWin32Platform runs.
#include "stub/win/win32_platform.h"
#include "utils/platform.h"

namespace zv {

Platform NativePlatform() {
    Platform p;
    FillWin32Platform(p);
    return p;
}

}  // namespace zv
