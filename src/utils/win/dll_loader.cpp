#include "utils/win/dll_loader.h"

#include <map>

namespace zv {

namespace {
// True once the default search is restricted to the system folder: bare names are then safe and
// keep side-by-side redirection (comctl32 v6 from the manifest).
bool g_searchRestricted = false;
}  // namespace

void HardenDllSearch() {
    HMODULE k32 = GetModuleHandleA("kernel32.dll");
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(k32, "SetDefaultDllDirectories")));
    if (setDefault && setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */))
        g_searchRestricted = true;
    auto setDir = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(k32, "SetDllDirectoryA")));
    if (setDir) setDir("");
}

std::string SystemDllPath(const char* name) {
    char dir[MAX_PATH + 1] = {};
    UINT n = GetSystemDirectoryA(dir, MAX_PATH);
    std::string path(dir, n < MAX_PATH ? n : 0);
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path + name;
}

HMODULE LoadSystemLibrary(const char* name) {
    UINT old = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    HMODULE h = LoadLibraryA(g_searchRestricted ? name : SystemDllPath(name).c_str());
    SetErrorMode(old);
    return h;
}

HMODULE SystemModule(const char* name) {
    static std::map<std::string, HMODULE> loaded;
    std::string key = name;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    auto it = loaded.find(key);
    if (it != loaded.end()) return it->second;
    HMODULE h = LoadSystemLibrary(name);
    if (h) loaded[key] = h;
    return h;
}

FARPROC SystemProc(const char* library, const char* function) {
    HMODULE h = SystemModule(library);
    return h ? GetProcAddress(h, function) : nullptr;
}

}  // namespace zv
