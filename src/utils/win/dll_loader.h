// DLL loading that cannot be planted: every DLL beyond the load-time imports is loaded from the
// system folder by full path, after the process's DLL search has been restricted to it.
#pragma once
#include <windows.h>

#include <string>

namespace zv {

// Restricts the default DLL search to the system folder where kernel32 offers it
// (SetDefaultDllDirectories, found at run time so older Windows still start) and drops the
// current folder from the search (SetDllDirectoryA("")). Call first thing in the entry.
// Where kernel32 lacks it (XP, Vista, 7 without its update; Vista is treated so anyway), the
// libraries that system DLLs load on demand are loaded beforehand by full system-folder path.
void HardenDllSearch();

// Loads those libraries (what HardenDllSearch does without a restricted search).
void PreloadSystemDlls();

// True when HardenDllSearch restricted the default search to the system folder.
bool DllSearchRestricted();

// Full path of name inside the system folder.
std::string SystemDllPath(const char* name);

// Loads name from the system folder by full path, with the open-file error box switched off.
// Returns nullptr when it does not load.
HMODULE LoadSystemLibrary(const char* name);

// Module handle of an already loaded or system library, loading it once; the handle is kept
// until the process ends.
HMODULE SystemModule(const char* name);

// Address of function in a system library (loaded as above), or nullptr.
FARPROC SystemProc(const char* library, const char* function);

template <typename Fn>
Fn SystemFunction(const char* library, const char* function) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(SystemProc(library, function)));
}

}  // namespace zv
