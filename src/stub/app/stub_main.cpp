// Program entry of the stub.
#include <windows.h>

#include "stub/runtime/library_faults.h"
#include "stub/win/stub.h"
#include "utils/trace.h"

namespace {

void TraceLibraryFault(const char* what) { zv::TraceException(what, "RunStub", "C++ library"); }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    zv::SetLibraryFaultHook(&TraceLibraryFault);
    return zv::RunStub();
}
