#include "stub/win/stub.h"

#include <windows.h>

#include "utils/host_env.h"
#include "utils/trace.h"
#include "utils/win/dll_loader.h"
#include "utils/win/win_env.h"
#include "utils/win/zdebug.h"

namespace zv {

int RunStub() {
    HardenDllSearch();
    InstallWin32Host();
    InstallTraceSink();

    const std::string commandLine = Host().commandLine();
    const int64_t pid = GetCurrentProcessId();
    TraceOut().Write(pid).Write(" ==== STUB START ====> ").Write(commandLine).WriteLine("<");

    int exitCode = 0;

    TraceOut().Write(pid).Write(" ==== STUB END ====> ").Write(commandLine).WriteLine("<");
    TraceOut().WriteLine();
    return exitCode;
}

}  // namespace zv
