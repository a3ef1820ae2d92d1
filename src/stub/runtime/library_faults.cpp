// The C++ library's fault paths for the shipped programs, which are built without exception
// support. Nothing in them throws, so the library's throws, the exception runtime (the unwinder,
// the personality routine, the catch helpers) and the unwind tables of every function are dead
// weight: about 150 KB of a stub that is downloaded before anything else.
//
// The library's error throws (std::string past its maximum length, a failed lock, ...) and a
// failed allocation end the process here instead, after one trace line. The entry points of the
// exception runtime that the library's own objects still name exist only to keep the real ones
// out of the link; they are never reached, since nothing is ever thrown.
//
// Linked as plain objects, so the linker never takes the library's versions; should the library
// come to need one that is missing here, its versions are pulled in and the link fails on the
// duplicates instead of silently growing.
#include "stub/runtime/library_faults.h"

#include <windows.h>

#include <cstdlib>
#include <new>

namespace zv {
namespace {

void (*g_faultHook)(const char*) = nullptr;

[[noreturn]] void LibraryFault(const char* what) {
    static bool reported = false;  // a fault inside the hook must not recurse
    if (g_faultHook && !reported) {
        reported = true;
        g_faultHook(what ? what : "C++ library fault");
    }
    ExitProcess(kLibraryFaultExitCode);
}

}  // namespace

void SetLibraryFaultHook(void (*hook)(const char*)) { g_faultHook = hook; }

}  // namespace zv

namespace std {

void __throw_bad_alloc() { zv::LibraryFault("out of memory"); }
void __throw_bad_array_new_length() { zv::LibraryFault("bad array length"); }
void __throw_bad_function_call() { zv::LibraryFault("empty std::function called"); }
void __throw_logic_error(const char* what) { zv::LibraryFault(what); }
void __throw_length_error(const char* what) { zv::LibraryFault(what); }
void __throw_runtime_error(const char* what) { zv::LibraryFault(what); }
void __throw_system_error(int) { zv::LibraryFault("system error"); }
// The library passes a printf format with an index and a size; the format alone says which check
// failed, which is what a trace needs.
void __throw_out_of_range_fmt(const char* format, ...) { zv::LibraryFault(format); }

}  // namespace std

// Allocation: memory or the end of the process, never an exception.
void* operator new(std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    zv::LibraryFault("out of memory");
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

// The exception runtime's entry points named by the library's compiled code (std::string's
// cleanups and catch-and-rethrow paths). Only an exception in flight reaches them.
extern "C" {
void* __cxa_begin_catch(void*) { zv::LibraryFault("exception caught"); }
void __cxa_end_catch() { zv::LibraryFault("exception caught"); }
void __cxa_rethrow() { zv::LibraryFault("exception rethrown"); }
void _Unwind_Resume(void*) { zv::LibraryFault("exception in flight"); }
int __gxx_personality_v0() { zv::LibraryFault("exception in flight"); }
}

// std::terminate's default handler prints the exception's demangled type, which drags in the
// whole C++ demangler; here it ends the process like any other fault.
namespace __gnu_cxx {
void __verbose_terminate_handler() { zv::LibraryFault("terminate called"); }
}  // namespace __gnu_cxx
