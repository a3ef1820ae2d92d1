// The shipped programs are built without exception support (-fno-exceptions): nothing of ours
// throws or catches. What the C++ library would throw instead (memory exhausted, a string past
// its maximum length, an empty std::function called) ends the process in library_faults.cpp,
// after the hook below has had its say.
#pragma once

namespace zv {

// The exit code of a process ended by such a fault: nothing was, or will be, started by it.
constexpr unsigned kLibraryFaultExitCode = 2;

// `hook` (may be null) receives the fault's text once, before the process ends; the stub writes
// it to its trace.
void SetLibraryFaultHook(void (*hook)(const char* what));

}  // namespace zv
